#pragma once
// Test help for the node graph: small toolkit nodes over the platform's test nodes, and engines that
// run without a sound card.

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/SourceNode.h"
#include "tests/platform/audio/GainTestUnit.h"
#include "tests/support/EngineRig.h"
#include "tests/support/ToolkitNodes.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace nodetest {

using testsupport::PassThrough;

// A node hosting the test gain unit (a music effect, so it takes MIDI), with no parameter members.
class GainNode : public rozezeru::Node {
public:
    explicit GainNode(std::vector<std::shared_ptr<rozezeru::Node>> inputs = {}, std::uint32_t inputBusses = 1)
        : inputs(std::move(inputs)) {
        auto unit = std::make_unique<unittest::GainTestUnit>(unittest::GainTestUnit::effectDescription(),
                                                             inputBusses);
        unit_ = unit.get();
        node_ = std::make_shared<platform::AudioUnitNode>(std::move(unit));
    }

    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return inputs; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return node_; }
    unittest::GainTestUnit& unit() const { return *unit_; }

    std::vector<std::shared_ptr<rozezeru::Node>> inputs;

private:
    unittest::GainTestUnit* unit_ = nullptr;
    std::shared_ptr<platform::AudioUnitNode> node_;
};

inline rozezeru::NodeParameterDef nodeTestDef(const char* identifier, platform::AUParameterAddress address,
                                              float low, float high) {
    return {identifier,
            identifier,
            address,
            low,
            {low, high},
            platform::AudioUnitParameterUnit::generic,
            rozezeru::AudioUnitParameterOptions::default_};
}

// A gain node with two parameter members, declared "cutoff" then "gain" (addresses 7 and 0).
class ParameterisedGainNode final : public GainNode {
public:
    ParameterisedGainNode() { setupParameters(); }

    std::vector<std::shared_ptr<rozezeru::NodeParameter>> parameters() const override {
        return rozezeru::parameterList(cutoff, gain);
    }

    rozezeru::Parameter<float> cutoff{nodeTestDef("cutoff", 7, 20.0f, 20000.0f)};
    rozezeru::Parameter<float> gain{nodeTestDef("gain", 0, 0.0f, 4.0f)};
};

using testsupport::fastToolkitEngine;

// A platform engine rendering offline (started, so that it counts as running).
inline std::unique_ptr<platform::AudioEngine> runningManualEngine() {
    auto engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    EXPECT_TRUE(engine->enableManualRenderingMode(testsupport::stereo(), 512));
    EXPECT_TRUE(engine->start());
    return engine;
}

// The input busses of `destination` that `source` feeds.
inline std::vector<std::uint32_t> bussesFed(const platform::AudioEngine& engine,
                                            const platform::AudioNode& source,
                                            const platform::AudioNode& destination) {
    std::vector<std::uint32_t> busses;
    for (const auto& point : engine.outputConnectionPoints(source, 0))
        if (point.node == &destination) busses.push_back(point.bus);
    std::sort(busses.begin(), busses.end());
    return busses;
}

} // namespace nodetest
