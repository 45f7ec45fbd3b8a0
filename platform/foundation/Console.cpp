#include "platform/foundation/Console.h"

#include "platform/foundation/Text.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {

// One lock for printing and for the captures' lines keeps every line whole.
std::mutex& consoleLock() {
    static std::mutex lock;
    return lock;
}

ScopedConsoleCapture* activeConsoleCapture = nullptr;

} // namespace

void consolePrint(std::string_view text) {
    // Escaped here, once for every caller: a file name quoted in a line can neither break it in two
    // nor pass as a line of its own.
    const std::string line = printableLine(text);
    std::lock_guard lock(consoleLock());
    if (activeConsoleCapture) {
        activeConsoleCapture->lines_.push_back(line);
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

ScopedConsoleCapture::ScopedConsoleCapture() {
    std::lock_guard lock(consoleLock());
    previous_ = activeConsoleCapture;
    activeConsoleCapture = this;
}

ScopedConsoleCapture::~ScopedConsoleCapture() {
    std::lock_guard lock(consoleLock());
    activeConsoleCapture = previous_;
}

std::vector<std::string> ScopedConsoleCapture::lines() const {
    std::lock_guard lock(consoleLock());
    return lines_;
}

void ScopedConsoleCapture::clear() {
    std::lock_guard lock(consoleLock());
    lines_.clear();
}

} // namespace platform
