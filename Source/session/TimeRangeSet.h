#pragma once
// The spans of one entry that were actually heard, ascending by start. Shared by reference
// (std::shared_ptr) between the entry, the player and the application state; main thread only.

#include "Source/session/TimeRange.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace vantle {

class TimeRangeSet {
public:
    std::vector<TimeRange> ranges;

    // Adds the span (start, end) and returns the index of the span that now holds `start`. The
    // caller promises that no span before `searchFrom` starts at or after `start`; a hint past
    // the end counts as the end. A span beginning strictly inside an earlier one extends it; one
    // beginning exactly at an earlier end is inserted beside it. Every following span the result
    // reaches is absorbed. An end before the start is taken as the start. A time that is not
    // finite is never stored: nothing changes and the result is empty.
    std::optional<std::size_t> addRange(double start, double end, std::size_t searchFrom);

    // Absorbs into span `index` every following span that starts at or before its end (touching
    // counts). An index past the end does nothing.
    void mergeFollowingRanges(std::size_t index);

    // Moves the end of span `index` forward to `time` and absorbs every following span it now
    // reaches. False, and nothing changes, for an index past the end or a time that is not
    // beyond the span's end (or not finite): playback that stands still or went back never
    // shortens a span.
    bool extendRange(std::size_t index, double time);

    // Seconds covered by the union of the spans, whatever their order or overlaps (as a decoded
    // set may hold them).
    double coveredDuration() const;

    // {"ranges": [{"start", "end"}, …]}; "ranges" is required. Decoding keeps the stored order
    // and overlaps, and drops only spans whose times are not finite.
    void encode(platform::KeyedEncoder& encoder) const;
    static TimeRangeSet decode(const platform::KeyedDecoder& decoder);
};

} // namespace vantle
