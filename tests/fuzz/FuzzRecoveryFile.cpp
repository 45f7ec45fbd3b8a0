// Recovery files: decoded and written again.

#include "Source/session/SessionRecovery.h"
#include "platform/foundation/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto recovery = platform::decodePlist<vantle::SessionRecovery>(platform::Bytes(data, data + size));
    if (recovery) (void)platform::encodePlist(*recovery);
    return 0;
}
