#pragma once
// A whole audio file as one channel of samples, for analysis that wants the signal in memory.
// Any thread but the render thread (it reads the file).

#include "platform/foundation/Url.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace rozezeru {

struct AudioSignal {
    std::vector<float> samples; // the first channel, one sample per frame
    double sampleRate = 0.0;
    std::int64_t frameCount = 0;
};

// The first channel of the file, its rate and its length; nothing when the file cannot be read
// (logged) or is too long to hold in one buffer.
std::optional<AudioSignal> loadAudioSignal(const platform::Url& audioURL);

} // namespace rozezeru
