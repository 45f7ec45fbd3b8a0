// State files: decoded and written again.

#include "Source/session/AppState.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto state = platform::decodePlist<vantle::AppState>(platform::Bytes(data, data + size));
    if (state) (void)platform::encodePlist(*state);
    return 0;
}
