#pragma once
// One heard span of an audio file, in seconds. A value; main thread, like the sets holding it.

#include "platform/foundation/KeyedCoding.h"

namespace vantle {

struct TimeRange {
    double start = 0;
    double end = 0;

    // "start" then "end"; both required when decoding.
    void encode(platform::KeyedEncoder& encoder) const;
    static TimeRange decode(const platform::KeyedDecoder& decoder);

    friend bool operator==(const TimeRange&, const TimeRange&) = default;
};

} // namespace vantle
