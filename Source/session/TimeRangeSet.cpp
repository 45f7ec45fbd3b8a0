#include "Source/session/TimeRangeSet.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace vantle {

std::optional<std::size_t> TimeRangeSet::addRange(double start, double end, std::size_t searchFrom) {
    if (!std::isfinite(start) || !std::isfinite(end)) return std::nullopt;
    end = std::max(start, end);
    std::size_t i = std::min(searchFrom, ranges.size());
    while (i < ranges.size() && ranges[i].start < start)
        ++i;
    if (i > 0 && ranges[i - 1].end > start) {
        ranges[i - 1].end = std::max(ranges[i - 1].end, end);
        mergeFollowingRanges(i - 1);
        return i - 1;
    }
    ranges.insert(ranges.begin() + static_cast<std::ptrdiff_t>(i), TimeRange{start, end});
    mergeFollowingRanges(i);
    return i;
}

void TimeRangeSet::mergeFollowingRanges(std::size_t index) {
    if (index >= ranges.size()) return;
    TimeRange& span = ranges[index];
    auto next = ranges.begin() + static_cast<std::ptrdiff_t>(index) + 1;
    auto stop = next;
    while (stop != ranges.end() && span.end >= stop->start) {
        span.end = std::max(span.end, stop->end);
        ++stop;
    }
    ranges.erase(next, stop);
}

bool TimeRangeSet::extendRange(std::size_t index, double time) {
    if (index >= ranges.size() || !std::isfinite(time)) return false;
    if (!(time > ranges[index].end)) return false;
    ranges[index].end = time;
    mergeFollowingRanges(index);
    return true;
}

double TimeRangeSet::coveredDuration() const {
    std::vector<TimeRange> sorted = ranges;
    std::sort(sorted.begin(), sorted.end(),
              [](const TimeRange& a, const TimeRange& b) { return a.start < b.start; });
    double total = 0;
    bool open = false;
    TimeRange current;
    for (const TimeRange& span : sorted) {
        if (!(span.end > span.start)) continue;
        if (open && span.start <= current.end) {
            current.end = std::max(current.end, span.end);
            continue;
        }
        if (open) total += current.end - current.start;
        current = span;
        open = true;
    }
    if (open) total += current.end - current.start;
    return total;
}

void TimeRangeSet::encode(platform::KeyedEncoder& encoder) const {
    // A span opened where playback stood and never played covers nothing; stored, it would only make
    // a session that was opened and closed differ from the file it was read from.
    const auto empty = [](const TimeRange& span) { return !(span.end > span.start); };
    if (std::none_of(ranges.begin(), ranges.end(), empty)) {
        encoder.encode("ranges", ranges);
        return;
    }
    std::vector<TimeRange> covering;
    std::copy_if(ranges.begin(), ranges.end(), std::back_inserter(covering),
                 [&](const TimeRange& span) { return !empty(span); });
    encoder.encode("ranges", covering);
}

TimeRangeSet TimeRangeSet::decode(const platform::KeyedDecoder& decoder) {
    TimeRangeSet set;
    set.ranges = decoder.decode<std::vector<TimeRange>>("ranges");
    std::erase_if(set.ranges, [](const TimeRange& span) {
        return !std::isfinite(span.start) || !std::isfinite(span.end);
    });
    return set;
}

} // namespace vantle
