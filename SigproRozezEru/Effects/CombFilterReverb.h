#pragma once
// A comb-filter reverb: the loop duration, fixed when the node is made, sets the echo spacing,
// `reverbDuration` the time to fall by 60 dB. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class CombFilterReverb final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "comb";
    static constexpr std::string_view nodeClassName = "CombFilterReverb";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"reverbDuration", "Reverb duration", 1.0f, {0.0f, 10.0f}, ParameterUnit::seconds},
    }};
    static NodeParameterDef reverbDurationDef() { return nodeParameterDef<CombFilterReverb>(0); }

    // Seconds, unless another loop duration is given.
    static constexpr float defaultLoopDuration = 0.1f;

    // `input` must not be null. The loop duration (seconds) goes to the kernel's two combs once, before
    // the value is written (clamped); it cannot be changed later.
    explicit CombFilterReverb(std::shared_ptr<Node> input,
                              platform::AUValue reverbDuration = reverbDurationDef().defaultValue,
                              float loopDuration = defaultLoopDuration);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(reverbDuration);
    }

    Parameter<float> reverbDuration{reverbDurationDef()};
};

} // namespace rozezeru
