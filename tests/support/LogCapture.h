#pragma once
// A log sink that keeps the records written to it, for tests that check what was logged. Any thread
// may write to it; the test reads.

#include "platform/foundation/LogSink.h"

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testsupport {

// One record as the capture keeps it.
struct LogRecord {
    std::string subsystem;
    std::string category;
    platform::LogType level = platform::LogType::info;
    std::string text;

    friend bool operator==(const LogRecord&, const LogRecord&) = default;
};

// Install it with platform::ScopedLogSink.
class CaptureLogSink final : public platform::LogSink {
public:
    void write(const platform::LogCategory& category, platform::LogType type,
               std::string_view text) override {
        LogRecord record{category.subsystem(), category.category(), type, std::string(text)};
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(record));
    }
    std::vector<LogRecord> records() const {
        std::lock_guard lock(mutex_);
        return records_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        records_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<LogRecord> records_;
};

} // namespace testsupport
