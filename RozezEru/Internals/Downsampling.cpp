#include "RozezEru/Internals/Downsampling.h"

#include <algorithm>

namespace rozezeru {

std::vector<float> downsampled(std::span<const float> samples, int targetCount) {
    const auto size = samples.size();
    if (size < 2 || targetCount < 1) return {};
    // A target above the size cannot lengthen the signal: it gets the least decimation.
    const auto factor = std::max<std::size_t>(1, size / static_cast<std::size_t>(targetCount));
    // The last pair starts at most at size − 2.
    const auto count = (size - 2) / factor + 1;
    std::vector<float> result(count);
    for (std::size_t k = 0; k < count; ++k)
        result[k] = 0.5f * samples[k * factor] + 0.5f * samples[k * factor + 1];
    return result;
}

} // namespace rozezeru
