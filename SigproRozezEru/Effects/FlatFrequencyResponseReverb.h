#pragma once
// An all-pass reverb with a flat frequency response (two all-passes in the loop).

#include "Sigpro/kernels/SigproKernels.h"
#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include <string_view>

namespace rozezeru {

class FlatFrequencyResponseReverb final : public LoopReverbNode<FlatFrequencyResponseReverb> {
public:
    static constexpr std::string_view componentSubType = "alps";
    static constexpr std::string_view nodeClassName = "FlatFrequencyResponseReverb";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 1> parameterRows{{
        {"reverbDuration", "Reverb duration", 0.5f, {0.0f, 10.0f}, ParameterUnit::seconds},
    }};

    // `input` must not be null.
    explicit FlatFrequencyResponseReverb(std::shared_ptr<Node> input,
                                         platform::AUValue reverbDuration = reverbDurationDef().defaultValue,
                                         float loopDuration = defaultLoopDuration)
        : LoopReverbNode(std::move(input), reverbDuration, loopDuration,
                         &sigpro::rzFlatFrequencyResponseSetLoopDuration) {}
};

} // namespace rozezeru
