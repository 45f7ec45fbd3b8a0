#pragma once
// White noise, uniform within ±`amplitude`.

#include "SigproRozezEru/Generators/NoiseGenerator.h"

#include <string_view>

namespace rozezeru {

class WhiteNoise final : public NoiseGenerator<WhiteNoise> {
public:
    static constexpr std::string_view componentSubType = "wnoz";
    static constexpr std::string_view nodeClassName = "WhiteNoise";

    explicit WhiteNoise(platform::AUValue amplitude = amplitudeDef().defaultValue)
        : NoiseGenerator(amplitude) {}
};

} // namespace rozezeru
