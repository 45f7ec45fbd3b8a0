#include "RozezEru/Nodes/Mixer.h"

#include "RozezEru/Internals/MemoryAddress.h"
#include "platform/audio/MixerNode.h"

#include "NodeTestRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

using nodetest::bussesFed;
using nodetest::ConstantSource;
using nodetest::PassThrough;
using rozezeru::ConnectStrategy;
using rozezeru::DisconnectStrategy;
using rozezeru::Mixer;
using rozezeru::Node;
using testsupport::ToolkitLogCapture;
using testsupport::toolkitLogContent;

namespace {

// A mixer attached to a running offline engine and connected to its output.
struct MixerRig {
    std::unique_ptr<platform::AudioEngine> engine = nodetest::runningManualEngine();
    std::shared_ptr<Mixer> mixer = std::make_shared<Mixer>(1.0f, "rig");

    MixerRig() {
        EXPECT_TRUE(engine->attach(mixer->avAudioNode()));
        EXPECT_TRUE(
            engine->connect(*mixer->avAudioNode(), engine->outputNode(), 0, 0, testsupport::stereo()));
    }
    bool attached(const Node& node) const { return engine->isAttached(*node.avAudioNode()); }
    std::vector<std::uint32_t> busses(const Node& input) const {
        return bussesFed(*engine, *input.avAudioNode(), *mixer->avAudioNode());
    }
};

std::vector<std::string> mixerTestMessages(const platform::CaptureLogSink& sink, const char* function) {
    std::vector<std::string> messages;
    for (const auto& record : sink.records())
        if (auto content = toolkitLogContent(record.text, "Mixer.cpp", function))
            messages.push_back(*content);
    return messages;
}

} // namespace

TEST(Mixer, LimitsVolumeAndPanAndPassesThemOn) {
    Mixer mixer(0.5f, "levels");
    // Kept, but not sent until wired or written.
    EXPECT_EQ(mixer.volume(), 0.5f);
    EXPECT_EQ(mixer.mixerAU()->outputVolume(), 1.0f);

    mixer.setVolume(-0.5f);
    EXPECT_EQ(mixer.volume(), 0.0f);
    EXPECT_EQ(mixer.mixerAU()->outputVolume(), 0.0f);
    EXPECT_FALSE(mixer.isStarted());
    mixer.setVolume(-0.0f);
    EXPECT_FALSE(std::signbit(mixer.volume()));
    mixer.setVolume(4.0f);
    EXPECT_EQ(mixer.volume(), 4.0f);
    EXPECT_EQ(mixer.mixerAU()->outputVolume(), 4.0f);
    EXPECT_TRUE(mixer.isStarted());
    mixer.stop();
    EXPECT_TRUE(mixer.isStarted());

    mixer.setPan(3.0f);
    EXPECT_EQ(mixer.pan(), 1.0f);
    EXPECT_EQ(mixer.mixerAU()->pan(), 1.0f);
    mixer.setPan(-7.0f);
    EXPECT_EQ(mixer.pan(), -1.0f);
    mixer.setPan(0.25f);
    EXPECT_EQ(mixer.mixerAU()->pan(), 0.25f);
}

TEST(Mixer, NamesItselfByAddressWithoutAName) {
    Mixer unnamed(std::vector<std::shared_ptr<Node>>{std::make_shared<ConstantSource>()});
    EXPECT_EQ(unnamed.name(), rozezeru::MemoryAddress::addressString(&unnamed));
    EXPECT_EQ(unnamed.inputs().size(), 1u);
    EXPECT_EQ(unnamed.volume(), 1.0f);
    unnamed.setName("renamed");
    EXPECT_EQ(unnamed.name(), "renamed");
}

TEST(Mixer, AddingOutsideAnEngineOnlyChangesTheListAndRefusesDuplicates) {
    ToolkitLogCapture capture;
    Mixer mixer(1.0f, "free");
    auto source = std::make_shared<ConstantSource>();
    mixer.addInput(source);
    mixer.addInput(source);
    EXPECT_EQ(mixer.inputs().size(), 1u);
    EXPECT_TRUE(mixer.hasInput(*source));
    EXPECT_FALSE(mixer.hasInput(ConstantSource()));
    EXPECT_EQ(source->avAudioNode()->engine(), nullptr);
    EXPECT_EQ(mixerTestMessages(capture.sink, "addInput(_:strategy:)"),
              std::vector<std::string>{"🛑 Error: Node is already connected to Mixer."});

    // Removing what is not an input does nothing; removing all in no engine only empties the list.
    mixer.removeInput(std::make_shared<ConstantSource>());
    EXPECT_EQ(mixer.inputs().size(), 1u);
    mixer.removeAllInputs();
    EXPECT_TRUE(mixer.inputs().empty());
}

TEST(Mixer, FirstInputOfARunningEnginesMixerGetsADummyForAMoment) {
    ToolkitLogCapture capture;
    MixerRig rig;
    const auto nodesBefore = rig.engine->attachedNodes().size();
    auto first = std::make_shared<ConstantSource>();
    rig.mixer->addInput(first);

    EXPECT_EQ(rig.busses(*first), std::vector<std::uint32_t>{0});
    // The dummy came and went: only the new input was added to the engine.
    EXPECT_EQ(rig.engine->attachedNodes().size(), nodesBefore + 1);
    const auto dummies = [&] {
        const auto records = capture.sink.records();
        return std::count_if(records.begin(), records.end(), [](const auto& r) {
            return toolkitLogContent(r.text, "EngineConnections.cpp", "initializeMixer(_:)").has_value();
        });
    };
    EXPECT_EQ(dummies(), 1);

    // With a connected input there is no dummy.
    rig.mixer->addInput(std::make_shared<ConstantSource>());
    EXPECT_EQ(dummies(), 1);
    EXPECT_EQ(rig.engine->attachedNodes().size(), nodesBefore + 2);

    // The input plays through the mixer.
    const auto out = testsupport::renderOfflineFrames(*rig.engine, 512, 512);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_FLOAT_EQ(out[0][100], 0.5f);
}

TEST(Mixer, CompleteWiringKeepsEarlierBussesAndIncrementalWalksOnlyTheNewInput) {
    MixerRig rig;
    auto a = std::make_shared<ConstantSource>();
    auto b = std::make_shared<ConstantSource>();
    rig.mixer->addInput(a);
    rig.mixer->addInput(b);
    const auto busA = rig.busses(*a);
    const auto busB = rig.busses(*b);
    ASSERT_EQ(busA.size(), 1u);
    ASSERT_EQ(busB.size(), 1u);
    EXPECT_NE(busA, busB);

    auto c = std::make_shared<ConstantSource>();
    rig.mixer->addInput(c, ConnectStrategy::complete);
    EXPECT_EQ(rig.busses(*a), busA);
    EXPECT_EQ(rig.busses(*b), busB);
    EXPECT_EQ(rig.busses(*c), std::vector<std::uint32_t>{2});

    // Incremental: an input cut off behind the mixer's back is not wired again.
    rig.engine->disconnectNodeOutput(*a->avAudioNode());
    auto d = std::make_shared<ConstantSource>();
    rig.mixer->addInput(d, ConnectStrategy::incremental);
    EXPECT_TRUE(rig.busses(*a).empty());
    EXPECT_EQ(rig.busses(*d).size(), 1u);
    rig.mixer->addInput(std::make_shared<ConstantSource>(), ConnectStrategy::complete);
    EXPECT_EQ(rig.busses(*a).size(), 1u);
}

TEST(Mixer, RemovingByStrategy) {
    MixerRig rig;
    auto second = std::make_shared<Mixer>(1.0f, "second");
    ASSERT_TRUE(rig.engine->attach(second->avAudioNode()));

    // recursive: an input that also feeds the second mixer stays, connected to it.
    auto shared = std::make_shared<ConstantSource>();
    rig.mixer->addInput(shared);
    second->addInput(shared);
    rig.mixer->removeInput(shared, DisconnectStrategy::recursive);
    EXPECT_FALSE(rig.mixer->hasInput(*shared));
    EXPECT_TRUE(rig.attached(*shared));
    EXPECT_TRUE(rig.busses(*shared).empty());
    EXPECT_EQ(bussesFed(*rig.engine, *shared->avAudioNode(), *second->avAudioNode()).size(), 1u);

    // recursive: an exclusive input leaves with its exclusive upstream.
    auto upstream = std::make_shared<ConstantSource>();
    auto chain = std::make_shared<PassThrough>(std::vector<std::shared_ptr<Node>>{upstream});
    rig.mixer->addInput(chain);
    ASSERT_TRUE(rig.attached(*upstream));
    rig.mixer->removeInput(chain);
    EXPECT_FALSE(rig.attached(*chain));
    EXPECT_FALSE(rig.attached(*upstream));

    // detach: the whole upstream chain goes, even the part that feeds the second mixer.
    auto feedsBoth = std::make_shared<ConstantSource>();
    auto top = std::make_shared<PassThrough>(std::vector<std::shared_ptr<Node>>{feedsBoth});
    rig.mixer->addInput(top);
    second->addInput(feedsBoth);
    rig.mixer->removeInput(top, DisconnectStrategy::detach);
    EXPECT_FALSE(rig.attached(*top));
    EXPECT_FALSE(rig.attached(*feedsBoth));
    EXPECT_TRUE(second->hasInput(*feedsBoth));

    // Removing all: inputs that fed only this mixer leave, the shared one stays with the second.
    auto only = std::make_shared<ConstantSource>();
    rig.mixer->addInput(only);
    rig.mixer->addInput(shared);
    rig.mixer->removeAllInputs();
    EXPECT_TRUE(rig.mixer->inputs().empty());
    EXPECT_FALSE(rig.attached(*only));
    EXPECT_TRUE(rig.attached(*shared));
    EXPECT_EQ(bussesFed(*rig.engine, *shared->avAudioNode(), *second->avAudioNode()).size(), 1u);
}

TEST(Mixer, ReservesBussesUpToThePlatformsLimit) {
    Mixer mixer;
    EXPECT_EQ(mixer.reserveInputBusses(3), 3);
    EXPECT_EQ(mixer.reserveInputBusses(5000), int(platform::MixerNode::maximumInputBusses));
}
