#include "Sigpro/kernels/KernelLog.h"

#include "platform/foundation/LogSink.h"

#include <atomic>
#include <string>

namespace sigpro {

namespace {

std::atomic<KernelLogHandler> kernelLogHandler{nullptr};

} // namespace

void setKernelLogHandler(KernelLogHandler handler) {
    kernelLogHandler.store(handler, std::memory_order_release);
}

void kernelLog(std::string_view function, std::string_view text, std::source_location where) {
    if (KernelLogHandler handler = kernelLogHandler.load(std::memory_order_acquire)) {
        handler(function, text, where);
        return;
    }
    static const platform::LogCategory category("com.fennorastudio.sigpro", "kernels");
    std::string record(function);
    record += ": ";
    record += text;
    category.write(platform::LogType::error, record);
}

} // namespace sigpro
