#pragma once
// The application's own console lines: the plain diagnostic lines the program prints to
// standard output.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Prints `text` and a line break to standard output and flushes, so lines of concurrent
// callers never interleave. Any thread. Each call prints one line of UTF-8: control characters
// and ill-formed bytes in the text are escaped (printableLine). While a ScopedConsoleCapture
// lives, the line goes to the capture instead, escaped as it would be printed.
void consolePrint(std::string_view text);

// Collects the console lines printed during its lifetime instead of printing them, for tests.
// Captures nest; the innermost one receives. Any thread may print meanwhile.
class ScopedConsoleCapture {
public:
    ScopedConsoleCapture();
    ~ScopedConsoleCapture();
    ScopedConsoleCapture(const ScopedConsoleCapture&) = delete;
    ScopedConsoleCapture& operator=(const ScopedConsoleCapture&) = delete;

    std::vector<std::string> lines() const;
    void clear();

private:
    friend void consolePrint(std::string_view text);
    ScopedConsoleCapture* previous_;
    std::vector<std::string> lines_;
};

} // namespace platform
