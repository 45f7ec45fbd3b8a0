#include "RozezEru/Internals/MusicalDuration.h"

namespace rozezeru {

namespace {

constexpr int musicalDurationCount = static_cast<int>(allMusicalDurations.size());

constexpr std::array<double, musicalDurationCount> musicalDurationFractions = {
    0.03125, 0.046875, 0.0625, 0.09375, 0.125, 0.1875, 0.25, 0.375, 0.5, 0.75, 1.0, 1.5,
};

constexpr std::array<std::string_view, musicalDurationCount> musicalDurationTexts = {
    "1/32", "1/32 D", "1/16", "1/16 D", "1/8", "1/8 D", "1/4", "1/4 D", "1/2", "1/2 D", "1", "1 D",
};

} // namespace

std::optional<MusicalDuration> musicalDurationFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue >= musicalDurationCount) return std::nullopt;
    return static_cast<MusicalDuration>(rawValue);
}

double wholeNoteFraction(MusicalDuration duration) {
    return musicalDurationFractions[rawValue(duration)];
}

std::string_view displayText(MusicalDuration duration) {
    return musicalDurationTexts[rawValue(duration)];
}

MusicalDuration next(MusicalDuration duration) {
    return static_cast<MusicalDuration>((rawValue(duration) + 1) % musicalDurationCount);
}

MusicalDuration previous(MusicalDuration duration) {
    return static_cast<MusicalDuration>((rawValue(duration) + musicalDurationCount - 1) %
                                        musicalDurationCount);
}

} // namespace rozezeru
