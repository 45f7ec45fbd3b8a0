#include "RozezEruEX/ProgrammingError.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace rozezeru {

void stopOnProgrammingError(std::string_view message, std::source_location where) {
    std::string_view file = where.file_name();
    if (const auto slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    std::fprintf(stderr, "%.*s (%.*s:%s:%u)\n", int(message.size()), message.data(), int(file.size()),
                 file.data(), where.function_name(), unsigned(where.line()));
    std::fflush(stderr);
    std::abort();
}

} // namespace rozezeru
