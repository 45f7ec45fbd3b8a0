#include "platform/foundation/Console.h"

#include "platform/foundation/Text.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {

namespace {

// One lock for printing and for handing lines to a receiver keeps every line whole.
std::mutex& consoleLock() {
    static std::mutex lock;
    return lock;
}

ConsoleReceiver* activeConsoleReceiver = nullptr;

} // namespace

void consolePrint(std::string_view text) {
    // Escaped here, once for every caller: a file name quoted in a line can neither break it in two
    // nor pass as a line of its own.
    std::string line = printableLine(text);
    std::lock_guard lock(consoleLock());
    if (activeConsoleReceiver) {
        activeConsoleReceiver->receive(std::move(line));
        return;
    }
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

ScopedConsoleReceiver::ScopedConsoleReceiver(ConsoleReceiver& receiver) {
    std::lock_guard lock(consoleLock());
    previous_ = activeConsoleReceiver;
    activeConsoleReceiver = &receiver;
}

ScopedConsoleReceiver::~ScopedConsoleReceiver() {
    std::lock_guard lock(consoleLock());
    activeConsoleReceiver = previous_;
}

} // namespace platform
