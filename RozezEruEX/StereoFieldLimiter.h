#pragma once
// Narrows the stereo image of its input: each output channel takes in the opposite input channel in
// proportion to `amount` (0 passes the signal unchanged, 1 gives both channels (L + R) / 2). The value is
// clamped to 0 ... 1 and reached by a 0.02 s ramp. Main thread (the kernel renders on the render thread).

#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"

#include <memory>
#include <string_view>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class StereoFieldLimiter final : public Node {
public:
    static constexpr std::string_view componentSubType = "sflm";

    // "amount" ("Limiting amount"): 1 in 0 ... 1. Built once, on first use from any thread.
    static NodeParameterDef amountDef();

    // `input` must not be null.
    explicit StereoFieldLimiter(std::shared_ptr<Node> input, float amount = amountDef().defaultValue);

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override { return parameterList(amount); }

    Parameter<float> amount{amountDef()};

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

} // namespace rozezeru
