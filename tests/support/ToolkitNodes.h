#pragma once
// Toolkit nodes for tests: a source that plays any signal and counts its renders, and an effect without a
// unit that passes its first input on. Only the toolkit's test programs include this. Test thread.

#include "RozezEru/Nodes/Node.h"
#include "tests/support/EngineRig.h"

#include <memory>
#include <vector>

namespace testsupport {

// Plays value(n) on every channel for its n-th rendered frame.
class SignalNode final : public rozezeru::Node {
public:
    template <typename Signal>
    explicit SignalNode(Signal value, const AudioFormat& format = stereo())
        : source_(makeSource(format, value)) {}

    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return source_.node; }
    int renders() const { return source_.renders->load(); }

private:
    CountingSource source_;
};

inline std::shared_ptr<SignalNode> constantNode(float value = 0.25f, const AudioFormat& format = stereo()) {
    return std::make_shared<SignalNode>([value](std::int64_t) { return value; }, format);
}

// `samples`, then silence.
inline std::shared_ptr<SignalNode> samplesNode(std::vector<float> samples) {
    return std::make_shared<SignalNode>([samples = std::move(samples)](std::int64_t n) {
        return std::size_t(n) < samples.size() ? samples[std::size_t(n)] : 0.0f;
    });
}

// An effect without a unit that passes input bus 0 on; its inputs are set by the test.
class PassThrough final : public rozezeru::Node {
public:
    explicit PassThrough(std::vector<std::shared_ptr<rozezeru::Node>> inputs = {})
        : inputs(std::move(inputs)), node_(std::make_shared<PassThroughNode>(stereo())) {}

    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return inputs; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return node_; }

    std::vector<std::shared_ptr<rozezeru::Node>> inputs;

private:
    std::shared_ptr<platform::AudioNode> node_;
};

} // namespace testsupport
