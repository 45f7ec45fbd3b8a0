// XML property lists: the reader gives a tree or an error, and every tree it gives can be written.

#include "platform/foundation/PropertyList.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto tree = platform::parsePlist(data, size);
    // Its strings are made valid UTF-8 as they are read, so the writer never refuses them.
    if (tree && !platform::serializeBinaryPlist(*tree)) std::abort();
    return 0;
}
