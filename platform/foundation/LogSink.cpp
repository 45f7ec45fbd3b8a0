#include "platform/foundation/LogSink.h"

#include "platform/foundation/Text.h"

#include <mutex>
#include <shared_mutex>
#include <syslog.h>

namespace platform {

namespace {

// Writers share the lock, installers take it exclusively: an installer that goes away waits
// for writes in flight, so a captured sink is never written to after its installer ended.
std::shared_mutex& logSinkLock() {
    static std::shared_mutex lock;
    return lock;
}

LogSink*& currentLogSink() {
    static SyslogLogSink systemSink;
    static LogSink* current = &systemSink;
    return current;
}

int logFieldWidth(std::string_view text) {
    return text.size() > 0x7fffffff ? 0x7fffffff : static_cast<int>(text.size());
}

} // namespace

void LogCategory::write(LogType type, std::string_view text) const {
    LogSink*& sink = currentLogSink();
    std::shared_lock lock(logSinkLock());
    sink->write(*this, type, text);
}

SyslogLogSink::SyslogLogSink(Send send) : send_(send != nullptr ? send : &::syslog) {
    // A null ident gives the program's name.
    ::openlog(nullptr, LOG_PID, LOG_USER);
}

int syslogPriority(LogType type) {
    switch (type) {
    case LogType::debug:
        return LOG_DEBUG;
    case LogType::info:
        return LOG_INFO;
    case LogType::default_:
        return LOG_NOTICE;
    case LogType::error:
        return LOG_ERR;
    case LogType::fault:
        return LOG_CRIT;
    }
    return LOG_NOTICE;
}

void SyslogLogSink::write(const LogCategory& category, LogType type, std::string_view text) {
    // The text is always an argument, never the format, and one line: records quote user data such
    // as file names.
    const std::string line = printableLine(text);
    send_(syslogPriority(type), "[%.*s:%.*s] %.*s", logFieldWidth(category.subsystem()),
          category.subsystem().data(), logFieldWidth(category.category()), category.category().data(),
          logFieldWidth(line), line.data());
}

ScopedLogSink::ScopedLogSink(LogSink& sink) {
    LogSink*& current = currentLogSink();
    std::unique_lock lock(logSinkLock());
    previous_ = current;
    current = &sink;
}

ScopedLogSink::~ScopedLogSink() {
    LogSink*& current = currentLogSink();
    std::unique_lock lock(logSinkLock());
    current = previous_;
}

} // namespace platform
