#pragma once
// Where a kernel reports a call it refuses (a wavetable slot it does not have, say). Any thread but the
// render thread. The kernels only say what went wrong; whoever registers them says where reports go.

#include <source_location>
#include <string_view>

namespace sigpro {

// Receives one report: the function as the record names it, the text and the call site.
using KernelLogHandler = void (*)(std::string_view function, std::string_view text,
                                  const std::source_location& where);

// Reports made while no handler is set go to the platform's log sink as errors. The toolkit sets its
// handler before it registers the kernels, so from then on reports join its log and obey its logging
// switch; a program that uses the kernels without it sets a handler of its own to do the same.
void setKernelLogHandler(KernelLogHandler handler);
void kernelLog(std::string_view function, std::string_view text,
               std::source_location where = std::source_location::current());

} // namespace sigpro
