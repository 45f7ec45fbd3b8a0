#pragma once
// A Butterworth band-pass filter, one per channel.

#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class BandPassButterworthFilter final : public BandFilterNode<BandPassButterworthFilter> {
public:
    static constexpr std::string_view componentSubType = "btbp";
    static constexpr std::string_view nodeClassName = "BandPassButterworthFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"centerFrequency", "Center Frequency", 2000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"bandwidth", "Bandwidth", 100.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
    }};

    explicit BandPassButterworthFilter(std::shared_ptr<Node> input,
                                       platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
                                       platform::AUValue bandwidth = bandwidthDef().defaultValue)
        : BandFilterNode(std::move(input), centerFrequency, bandwidth) {}
};

} // namespace rozezeru
