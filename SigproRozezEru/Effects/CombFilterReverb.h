#pragma once
// A comb-filter reverb (two combs in the loop).

#include "Sigpro/kernels/SigproKernels.h"
#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class CombFilterReverb final : public LoopReverbNode<CombFilterReverb> {
public:
    static constexpr std::string_view componentSubType = "comb";
    static constexpr std::string_view nodeClassName = "CombFilterReverb";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"reverbDuration", "Reverb duration", 1.0f, {0.0f, 10.0f}, ParameterUnit::seconds},
    }};

    // `input` must not be null.
    explicit CombFilterReverb(std::shared_ptr<Node> input,
                              platform::AUValue reverbDuration = reverbDurationDef().defaultValue,
                              float loopDuration = defaultLoopDuration)
        : LoopReverbNode(std::move(input), reverbDuration, loopDuration,
                         &sigpro::rzCombFilterReverbSetLoopDuration) {}
};

} // namespace rozezeru
