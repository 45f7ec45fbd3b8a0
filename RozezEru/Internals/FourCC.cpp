#include "RozezEru/Internals/FourCC.h"

#include <cstdio>
#include <cstdlib>

namespace rozezeru {

void fourCCLengthFailure(std::string_view code) {
    std::fprintf(stderr, "fourCC: \"%.*s\" is %zu bytes long, not 4\n", static_cast<int>(code.size()),
                 code.data(), code.size());
    std::abort();
}

} // namespace rozezeru
