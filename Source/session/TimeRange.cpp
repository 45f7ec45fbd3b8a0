#include "Source/session/TimeRange.h"

namespace vantle {

void TimeRange::encode(platform::KeyedEncoder& encoder) const {
    encoder.encode("start", start);
    encoder.encode("end", end);
}

TimeRange TimeRange::decode(const platform::KeyedDecoder& decoder) {
    return TimeRange{decoder.decode<double>("start"), decoder.decode<double>("end")};
}

} // namespace vantle
