#pragma once
// A dynamic range compressor: levels above the threshold (dB) are lowered by the ratio. Main thread (the
// kernel renders on the render thread).

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

class DynamicRangeCompressor final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "cpsr";
    static constexpr std::string_view nodeClassName = "DynamicRangeCompressor";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 4> parameterRows{{
        {"ratio", "Ratio", 1.0f, {0.01f, 100.0f}, ParameterUnit::hertz},
        {"threshold", "Threshold", 0.0f, {-100.0f, 0.0f}, ParameterUnit::generic},
        {"attackDuration", "Attack duration", 0.1f, {0.0f, 1.0f}, ParameterUnit::seconds},
        {"releaseDuration", "Release duration", 0.1f, {0.0f, 1.0f}, ParameterUnit::seconds},
    }};
    static NodeParameterDef ratioDef() { return nodeParameterDef<DynamicRangeCompressor>(0); }
    static NodeParameterDef thresholdDef() { return nodeParameterDef<DynamicRangeCompressor>(1); }
    static NodeParameterDef attackDurationDef() { return nodeParameterDef<DynamicRangeCompressor>(2); }
    static NodeParameterDef releaseDurationDef() { return nodeParameterDef<DynamicRangeCompressor>(3); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit DynamicRangeCompressor(std::shared_ptr<Node> input,
                                    platform::AUValue ratio = ratioDef().defaultValue,
                                    platform::AUValue threshold = thresholdDef().defaultValue,
                                    platform::AUValue attackDuration = attackDurationDef().defaultValue,
                                    platform::AUValue releaseDuration = releaseDurationDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({ratio, threshold, attackDuration, releaseDuration});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(ratio, threshold, attackDuration, releaseDuration);
    }

    Parameter<float> ratio{ratioDef()};
    Parameter<float> threshold{thresholdDef()};
    Parameter<float> attackDuration{attackDurationDef()};
    Parameter<float> releaseDuration{releaseDurationDef()};
};

} // namespace rozezeru
