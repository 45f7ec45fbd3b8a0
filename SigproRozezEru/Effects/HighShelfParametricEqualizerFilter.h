#pragma once
// The high-shelf equaliser node, the player's treble stage: the "peq2" kernel lifts or cuts everything above
// the corner frequency by `gain` (linear; 1 is flat), one filter per channel. Values written to the
// parameters are clamped into their ranges and reached by a 0.02 s ramp; $-style access to ramps and
// automation goes through each member's projectedValue(). Main thread (the kernel renders on the render
// thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "platform/audio/AudioUnitTypes.h"

#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class HighShelfParametricEqualizerFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "peq2";

    // Built once, on first use from any thread, with the addresses 0, 1 and 2; each call returns a copy.
    // "centerFrequency" ("Corner Frequency"): 1000 Hz in 12 ... 20000.
    static NodeParameterDef centerFrequencyDef();
    // "gain" ("Gain"): 1 in 0 ... 10.
    static NodeParameterDef gainDef();
    // "q" ("Q"): 0.707 in 0 ... 2.
    static NodeParameterDef qDef();

    // `input` must not be null. The values are written (clamped) after the parameter tree is set up.
    explicit HighShelfParametricEqualizerFilter(
        std::shared_ptr<Node> input, platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
        platform::AUValue gain = gainDef().defaultValue, platform::AUValue q = qDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, gain, q);
    }

    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> gain{gainDef()};
    Parameter<float> q{qDef()};
};

} // namespace rozezeru
