#pragma once
// Stops the program on a programming error of the kernel bridge (a duplicate registration, a lookup
// before any registration, a render for an output bus other than 0, a trigger on a unit without MIDI).
// Writes "<message> (<file>:<function>:<line>)" to standard error and aborts. Any thread.

#include <source_location>
#include <string_view>

namespace rozezeru {

[[noreturn]] void stopOnProgrammingError(std::string_view message,
                                         std::source_location where = std::source_location::current());

} // namespace rozezeru
