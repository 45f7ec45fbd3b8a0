#pragma once
// The two mixers that blend an effect's output with its source, input1 on input bus 0 (dry) and input2
// on input bus 1 (wet), sample by sample on every channel: DryWetMixer crossfades by one balance (0 the
// first input only, 1 the second only), DryWetDualMixer weights each input by an amount of its own
// without normalising (1 and 1 sum them). Values are clamped to 0 ... 1 and reached by a 0.02 s ramp. Main
// thread (the kernels render on the render thread).

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

class DryWetMixer final : public Node {
public:
    static constexpr std::string_view componentSubType = "dwmx";

    // "balance" ("Balance"): 0.5 in 0 ... 1. Built once, on first use from any thread.
    static NodeParameterDef balanceDef();

    // Neither input may be null.
    DryWetMixer(std::shared_ptr<Node> input1, std::shared_ptr<Node> input2,
                float balance = balanceDef().defaultValue);

    std::vector<std::shared_ptr<Node>> connections() const override { return {input1_, input2_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override { return parameterList(balance); }

    Parameter<float> balance{balanceDef()};

private:
    std::shared_ptr<Node> input1_;
    std::shared_ptr<Node> input2_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

class DryWetDualMixer final : public Node {
public:
    static constexpr std::string_view componentSubType = "dwm2";

    // "dry" ("Dry Mix") and "wet" ("Wet Mix"): 0.5 in 0 ... 1.
    static NodeParameterDef dryDef();
    static NodeParameterDef wetDef();

    // Neither input may be null. The dry amount is written first, then the wet one.
    DryWetDualMixer(std::shared_ptr<Node> input1, std::shared_ptr<Node> input2,
                    float dryAmount = dryDef().defaultValue, float wetAmount = wetDef().defaultValue);

    std::vector<std::shared_ptr<Node>> connections() const override { return {input1_, input2_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(dry, wet);
    }

    Parameter<float> dry{dryDef()};
    Parameter<float> wet{wetDef()};

private:
    std::shared_ptr<Node> input1_;
    std::shared_ptr<Node> input2_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

} // namespace rozezeru
