#pragma once
// Test help for the effect and generator nodes: a source node that plays a given signal, and an offline
// toolkit engine with a node as its output. Test thread (offline renders run on it too).

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Node.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/support/EngineRig.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace sigpronodetest {

// Plays value(n) on both channels for its n-th rendered frame.
class SignalNode final : public rozezeru::Node {
public:
    template <typename Signal>
    explicit SignalNode(Signal value) : source_(testsupport::makeSource(testsupport::stereo(), value)) {}

    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return source_.node; }

private:
    testsupport::CountingSource source_;
};

// A toolkit engine rendering offline with `output` as its output, started, nothing rendered yet.
inline std::unique_ptr<rozezeru::AudioEngine> offlineEngineWithOutput(std::shared_ptr<rozezeru::Node> output,
                                                                      double seconds = 2.0) {
    auto engine = std::make_unique<rozezeru::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    engine->setOutput(std::move(output));
    EXPECT_NE(engine->startTest(seconds), nullptr);
    return engine;
}

// The next `frames` frames, in cycles of `cycle`, one vector per channel.
inline std::vector<std::vector<float>> renderFrames(rozezeru::AudioEngine& engine, std::uint32_t frames,
                                                    std::uint32_t cycle = 512) {
    return testsupport::renderOfflineFrames(engine.avEngine(), frames, cycle);
}

} // namespace sigpronodetest
