#pragma once
// Lowers the bit depth and the sample rate of its input. Main thread (the kernel renders on the render
// thread).

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

class BitCrusher final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "btcr";
    static constexpr std::string_view nodeClassName = "BitCrusher";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"bitDepth", "Bit Depth", 8.0f, {1.0f, 24.0f}, ParameterUnit::generic},
        {"sampleRate", "Sample Rate", 10000.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
    }};
    static NodeParameterDef bitDepthDef() { return nodeParameterDef<BitCrusher>(0); }
    static NodeParameterDef sampleRateDef() { return nodeParameterDef<BitCrusher>(1); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit BitCrusher(std::shared_ptr<Node> input, platform::AUValue bitDepth = bitDepthDef().defaultValue,
                        platform::AUValue sampleRate = sampleRateDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({bitDepth, sampleRate});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(bitDepth, sampleRate);
    }

    Parameter<float> bitDepth{bitDepthDef()};
    Parameter<float> sampleRate{sampleRateDef()};
};

} // namespace rozezeru
