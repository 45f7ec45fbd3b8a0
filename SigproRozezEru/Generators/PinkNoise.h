#pragma once
// Pink noise, its power falling by 3 dB an octave, within ±`amplitude`.

#include "SigproRozezEru/Generators/NoiseGenerator.h"

#include <string_view>

namespace rozezeru {

class PinkNoise final : public NoiseGenerator<PinkNoise> {
public:
    static constexpr std::string_view componentSubType = "pink";
    static constexpr std::string_view nodeClassName = "PinkNoise";

    explicit PinkNoise(platform::AUValue amplitude = amplitudeDef().defaultValue)
        : NoiseGenerator(amplitude) {}
};

} // namespace rozezeru
