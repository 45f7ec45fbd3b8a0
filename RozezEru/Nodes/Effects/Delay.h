#pragma once
// The node of the platform's delay unit. The member definitions are in PlatformEffectParameterDefs.h.

#include "RozezEru/Nodes/Effects/PlatformEffectNode.h"

#include <memory>
#include <vector>

namespace rozezeru {

// Echoes its input through the platform's delay unit (DelayUnit): the value arguments come as time,
// feedback, low-pass cutoff and dry/wet mix, the members in the unit's order. Main thread.
class Delay final : public PlatformEffectNode {
public:
    static constexpr PlatformEffect effect = PlatformEffect::delay;
    static const NodeParameterDef& dryWetMixDef() { return def(effect, "dryWetMix"); }
    static const NodeParameterDef& timeDef() { return def(effect, "time"); }
    static const NodeParameterDef& feedbackDef() { return def(effect, "feedback"); }
    static const NodeParameterDef& lowPassCutoffDef() { return def(effect, "lowPassCutoff"); }

    explicit Delay(std::shared_ptr<Node> input, float time = timeDef().defaultValue,
                   float feedback = feedbackDef().defaultValue,
                   float lowPassCutoff = lowPassCutoffDef().defaultValue,
                   float dryWetMix = dryWetMixDef().defaultValue);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(dryWetMix, time, feedback, lowPassCutoff);
    }

    Parameter<float> dryWetMix{dryWetMixDef()};
    Parameter<float> time{timeDef()};
    Parameter<float> feedback{feedbackDef()};
    Parameter<float> lowPassCutoff{lowPassCutoffDef()};
};

} // namespace rozezeru
