#pragma once
// The stand-in for the platform's unified log: categories, levels and the process-wide sink
// that receives every record.

#include <string>
#include <string_view>
#include <utility>

namespace platform {

// The levels of the platform log. `default` is a keyword here, hence `default_`.
enum class LogType { info, debug, error, default_, fault };

// A log object: the subsystem identifier and the category name that every record written
// through it carries. Call sites keep one for the life of the process. Any thread.
class LogCategory {
public:
    LogCategory(std::string subsystem, std::string category)
        : subsystem_(std::move(subsystem)), category_(std::move(category)) {}

    const std::string& subsystem() const { return subsystem_; }
    const std::string& category() const { return category_; }

    // Hands one record to the process-wide sink.
    void write(LogType type, std::string_view text) const;

private:
    std::string subsystem_;
    std::string category_;
};

// Receives records; implementations must accept concurrent writes from any thread.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(const LogCategory& category, LogType type, std::string_view text) = 0;
};

// The default sink: the system log (syslog), one message per record, tagged with subsystem
// and category, its control characters escaped (printableLine) so that a record is one line
// whatever it quotes. Writes silently go nowhere when no syslog daemon listens.
class SyslogLogSink final : public LogSink {
public:
    // The C library's syslog (null), or a stand-in with its signature that sees each call as made.
    using Send = void (*)(int priority, const char* format, ...);
    explicit SyslogLogSink(Send send = nullptr);
    void write(const LogCategory& category, LogType type, std::string_view text) override;

private:
    Send send_;
};

// The syslog priority a level maps to.
int syslogPriority(LogType type);

// Makes `sink` the process-wide sink for its lifetime, then restores the previous one.
// Installers nest and must end in reverse order. Once the installer is gone no write reaches
// the sink any more, so the sink may be destroyed right after it.
class ScopedLogSink {
public:
    explicit ScopedLogSink(LogSink& sink);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

private:
    LogSink* previous_;
};

} // namespace platform
