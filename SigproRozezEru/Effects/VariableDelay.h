#pragma once
// A delay line with a variable time and feedback. Main thread (the kernel renders on the render thread).

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

class VariableDelay final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "vdla";
    static constexpr std::string_view nodeClassName = "VariableDelay";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"time", "Delay time", 0.0f, {0.0f, 10.0f}, ParameterUnit::seconds},
        {"feedback", "Feedback", 0.0f, {0.0f, 1.0f}, ParameterUnit::generic},
    }};
    static NodeParameterDef timeDef() { return nodeParameterDef<VariableDelay>(0); }
    static NodeParameterDef feedbackDef() { return nodeParameterDef<VariableDelay>(1); }

    // Seconds of delay line unless another maximum is given.
    static constexpr float defaultMaximumTime = 10.0f;

    // `input` must not be null. The kernel's delay lines hold `maximumTime` seconds, and the node's `time`
    // runs from 0 to that maximum (timeDef() keeps 0 ... 10), so a longer delay is held at it. A maximum
    // that is negative or not a finite number is refused with an error record and 0 used. The values are
    // written (clamped) once the kernel has its maximum.
    explicit VariableDelay(std::shared_ptr<Node> input, platform::AUValue time = timeDef().defaultValue,
                           platform::AUValue feedback = feedbackDef().defaultValue,
                           float maximumTime = defaultMaximumTime);

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(time, feedback);
    }

    Parameter<float> time{timeDef()};
    Parameter<float> feedback{feedbackDef()};
};

} // namespace rozezeru
