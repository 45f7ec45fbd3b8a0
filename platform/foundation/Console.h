#pragma once
// The application's own console lines: the plain diagnostic lines the program prints to
// standard output.

#include <string>
#include <string_view>

namespace platform {

// Prints `text` and a line break to standard output and flushes, so lines of concurrent
// callers never interleave. Any thread. Each call prints one line of UTF-8: control characters
// and ill-formed bytes in the text are escaped (printableLine). While a ScopedConsoleReceiver
// lives, the line goes to its receiver instead, escaped as it would be printed.
void consolePrint(std::string_view text);

// Takes console lines in place of standard output.
class ConsoleReceiver {
public:
    virtual ~ConsoleReceiver() = default;
    // One line as it would be printed, without its line break. Called under the console's lock, so
    // lines arrive whole and one at a time, from whichever thread printed them; it must not print.
    virtual void receive(std::string line) = 0;
};

// Sends the console lines printed during its lifetime to `receiver` instead of standard output.
// Installers nest and must end in reverse order; the innermost one receives.
class ScopedConsoleReceiver {
public:
    explicit ScopedConsoleReceiver(ConsoleReceiver& receiver);
    ~ScopedConsoleReceiver();
    ScopedConsoleReceiver(const ScopedConsoleReceiver&) = delete;
    ScopedConsoleReceiver& operator=(const ScopedConsoleReceiver&) = delete;

private:
    ConsoleReceiver* previous_;
};

} // namespace platform
