#include "platform/dispatch/DispatchQueue.h"

namespace platform::detail {

const void*& currentQueueMarker() {
    thread_local const void* marker = nullptr;
    return marker;
}

} // namespace platform::detail
