#pragma once
// The high-shelf equaliser node, the player's treble stage: the "peq2" kernel lifts or cuts everything above
// the corner frequency by `gain` (linear; 1 is flat), one filter per channel. Values written to the
// parameters are clamped into their ranges and reached by a 0.02 s ramp; $-style access to ramps and
// automation goes through each member's projectedValue(). Main thread (the kernel renders on the render
// thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "SigproRozezEru/Effects/EffectNodeShapes.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>

namespace rozezeru {

class HighShelfParametricEqualizerFilter final
    : public ParametricEqualizerFilterNode<HighShelfParametricEqualizerFilter> {
public:
    static constexpr std::string_view componentSubType = "peq2";
    static constexpr std::string_view nodeClassName = "HighShelfParametricEqualizerFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 3> parameterRows{{
        {"centerFrequency", "Corner Frequency", 1000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"gain", "Gain", 1.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"q", "Q", 0.707f, {0.0f, 2.0f}, ParameterUnit::generic},
    }};

    explicit HighShelfParametricEqualizerFilter(
        std::shared_ptr<Node> input, platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
        platform::AUValue gain = gainDef().defaultValue, platform::AUValue q = qDef().defaultValue)
        : ParametricEqualizerFilterNode(std::move(input), centerFrequency, gain, q) {}
};

} // namespace rozezeru
