#pragma once
// A distortion shaped by a modified hyperbolic tangent. Main thread (the kernel renders on the render
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

class TanhDistortion final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "dist";
    static constexpr std::string_view nodeClassName = "TanhDistortion";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 4> parameterRows{{
        {"pregain", "Pregain", 2.0f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"postgain", "Postgain", 0.5f, {0.0f, 10.0f}, ParameterUnit::generic},
        {"positiveShapeParameter", "Positive Shape Parameter", 0.0f, {-10.0f, 10.0f}, ParameterUnit::generic},
        {"negativeShapeParameter", "Negative Shape Parameter", 0.0f, {-10.0f, 10.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef pregainDef() { return nodeParameterDef<TanhDistortion>(0); }
    static NodeParameterDef postgainDef() { return nodeParameterDef<TanhDistortion>(1); }
    static NodeParameterDef positiveShapeParameterDef() { return nodeParameterDef<TanhDistortion>(2); }
    static NodeParameterDef negativeShapeParameterDef() { return nodeParameterDef<TanhDistortion>(3); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit TanhDistortion(
        std::shared_ptr<Node> input, platform::AUValue pregain = pregainDef().defaultValue,
        platform::AUValue postgain = postgainDef().defaultValue,
        platform::AUValue positiveShapeParameter = positiveShapeParameterDef().defaultValue,
        platform::AUValue negativeShapeParameter = negativeShapeParameterDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({pregain, postgain, positiveShapeParameter, negativeShapeParameter});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(pregain, postgain, positiveShapeParameter, negativeShapeParameter);
    }

    Parameter<float> pregain{pregainDef()};
    Parameter<float> postgain{postgainDef()};
    Parameter<float> positiveShapeParameter{positiveShapeParameterDef()};
    Parameter<float> negativeShapeParameter{negativeShapeParameterDef()};
};

} // namespace rozezeru
