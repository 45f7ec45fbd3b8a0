#pragma once
// Brownian ("red") noise: a random walk held within ±0.5 × `amplitude`, its power falling by 6 dB an
// octave.

#include "SigproRozezEru/Generators/NoiseGenerator.h"

#include <string_view>

namespace rozezeru {

class BrownianNoise final : public NoiseGenerator<BrownianNoise> {
public:
    static constexpr std::string_view componentSubType = "bron";
    static constexpr std::string_view nodeClassName = "BrownianNoise";

    explicit BrownianNoise(platform::AUValue amplitude = amplitudeDef().defaultValue)
        : NoiseGenerator(amplitude) {}
};

} // namespace rozezeru
