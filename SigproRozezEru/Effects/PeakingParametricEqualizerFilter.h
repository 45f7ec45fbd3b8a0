#pragma once
// A peaking (bell) equaliser: lifts or cuts around the centre frequency by `gain` (linear; 1 is flat), one
// filter per channel. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "SigproRozezEru/Effects/EffectNodeShapes.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>

namespace rozezeru {

class PeakingParametricEqualizerFilter final
    : public ParametricEqualizerFilterNode<PeakingParametricEqualizerFilter> {
public:
    static constexpr std::string_view componentSubType = "peq0";
    static constexpr std::string_view nodeClassName = "PeakingParametricEqualizerFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"centerFrequency", "Center Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"gain", "Gain", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"q", "Q", 0.707f, {0.0f, 2.0f}, ParameterUnit::generic},
    }};

    explicit PeakingParametricEqualizerFilter(
        std::shared_ptr<Node> input, platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
        platform::AUValue gain = gainDef().defaultValue, platform::AUValue q = qDef().defaultValue)
        : ParametricEqualizerFilterNode(std::move(input), centerFrequency, gain, q) {}
};

} // namespace rozezeru
