#pragma once
// The program's console lines collected instead of printed, for tests that check what was said.
// Captures nest; the innermost one receives. Any thread may print meanwhile.

#include "platform/foundation/Console.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class ScopedConsoleCapture final : public platform::ConsoleReceiver {
public:
    ScopedConsoleCapture() = default;
    ScopedConsoleCapture(const ScopedConsoleCapture&) = delete;
    ScopedConsoleCapture& operator=(const ScopedConsoleCapture&) = delete;

    void receive(std::string line) override {
        std::lock_guard lock(mutex_);
        lines_.push_back(std::move(line));
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    // Last, so that it is gone before the lines are.
    platform::ScopedConsoleReceiver install_{*this};
};

// Whether the captured console holds the line.
inline bool consoleHas(const ScopedConsoleCapture& console, const std::string& line) {
    const std::vector<std::string> lines = console.lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

} // namespace testsupport
