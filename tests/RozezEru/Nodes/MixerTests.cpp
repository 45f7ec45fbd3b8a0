#include "RozezEru/Nodes/Mixer.h"

#include "RozezEru/Internals/MemoryAddress.h"
#include "platform/audio/MixerNode.h"

#include "NodeTestRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

using nodetest::bussesFed;
using rozezeru::ConnectStrategy;
using rozezeru::DisconnectStrategy;
using rozezeru::Mixer;
using rozezeru::Node;
using testsupport::constantNode;
using testsupport::PassThrough;
using testsupport::ToolkitLogCapture;
using Busses = std::vector<std::uint32_t>;

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
    Busses busses(const Node& input, const Mixer* into = nullptr) const {
        return bussesFed(*engine, *input.avAudioNode(), *(into ? into : mixer.get())->avAudioNode());
    }
};

} // namespace

TEST(Mixer, LimitsVolumeAndPanPassesThemOnAndNamesItself) {
    Mixer mixer(0.5f, "levels");
    EXPECT_EQ(std::pair(mixer.volume(), mixer.mixerAU()->outputVolume()), std::pair(0.5f, 1.0f))
        << "kept, but not sent until wired or written";
    // Silence counts as stopped, and stop() cannot silence a mixer.
    for (auto [set, volume, started] : {std::tuple{-0.5f, 0.0f, false}, {4.0f, 4.0f, true}}) {
        mixer.setVolume(set);
        EXPECT_EQ(std::tuple(mixer.volume(), mixer.mixerAU()->outputVolume(), mixer.isStarted()),
                  std::tuple(volume, volume, started));
    }
    mixer.stop();
    EXPECT_TRUE(mixer.isStarted());
    mixer.setVolume(-0.0f);
    EXPECT_FALSE(std::signbit(mixer.volume()));
    for (auto [set, pan] : {std::pair{3.0f, 1.0f}, {-7.0f, -1.0f}, {0.25f, 0.25f}}) {
        mixer.setPan(set);
        EXPECT_EQ(std::pair(mixer.pan(), mixer.mixerAU()->pan()), std::pair(pan, pan));
    }
    Mixer unnamed(std::vector<std::shared_ptr<Node>>{constantNode()});
    EXPECT_EQ(unnamed.name(), rozezeru::MemoryAddress::addressString(&unnamed));
    EXPECT_EQ(std::pair(unnamed.inputs().size(), unnamed.volume()), std::pair(std::size_t(1), 1.0f));
}

TEST(Mixer, AddingOutsideAnEngineOnlyChangesTheListAndRefusesDuplicates) {
    ToolkitLogCapture capture;
    Mixer mixer(1.0f, "free");
    auto source = constantNode();
    mixer.addInput(source);
    mixer.addInput(source);
    EXPECT_EQ(mixer.inputs(), std::vector<std::shared_ptr<Node>>{source});
    EXPECT_FALSE(mixer.hasInput(*constantNode()));
    EXPECT_EQ(source->avAudioNode()->engine(), nullptr);
    EXPECT_EQ(capture.contents("Mixer.cpp", "addInput(_:strategy:)"),
              std::vector<std::string>{"🛑 Error: Node is already connected to Mixer."});
    // Removing what is not an input does nothing; removing all in no engine only empties the list.
    mixer.removeInput(constantNode());
    EXPECT_EQ(mixer.inputs().size(), 1u);
    mixer.removeAllInputs();
    EXPECT_TRUE(mixer.inputs().empty());
}

TEST(Mixer, FirstInputOfARunningEnginesMixerGetsADummyForAMoment) {
    ToolkitLogCapture capture;
    MixerRig rig;
    const auto nodesBefore = rig.engine->attachedNodes().size();
    auto first = constantNode();
    rig.mixer->addInput(first);
    rig.mixer->addInput(constantNode()); // a connected input needs no dummy
    EXPECT_EQ(rig.busses(*first), Busses{0});
    // The dummy came and went: only the new inputs were added to the engine.
    EXPECT_EQ(rig.engine->attachedNodes().size(), nodesBefore + 2);
    EXPECT_EQ(capture.contents("EngineConnections.cpp", "initializeMixer(_:)").size(), 1u);
    EXPECT_FLOAT_EQ(testsupport::renderOfflineFrames(*rig.engine, 512, 512)[0][100], 0.5f) << "both play";
}

TEST(Mixer, CompleteWiringKeepsEarlierBussesAndIncrementalWalksOnlyTheNewInput) {
    MixerRig rig;
    auto a = constantNode(), b = constantNode(), c = constantNode(), d = constantNode();
    rig.mixer->addInput(a);
    rig.mixer->addInput(b);
    rig.mixer->addInput(c, ConnectStrategy::complete);
    EXPECT_EQ((std::vector{rig.busses(*a), rig.busses(*b), rig.busses(*c)}),
              (std::vector<Busses>{{0}, {1}, {2}}));
    // Incremental: an input cut off behind the mixer's back is not wired again; complete wiring does.
    rig.engine->disconnectNodeOutput(*a->avAudioNode());
    rig.mixer->addInput(d, ConnectStrategy::incremental);
    EXPECT_EQ(std::pair(rig.busses(*a).size(), rig.busses(*d).size()),
              std::pair(std::size_t(0), std::size_t(1)));
    rig.mixer->addInput(constantNode(), ConnectStrategy::complete);
    EXPECT_EQ(rig.busses(*a).size(), 1u);
}

TEST(Mixer, RemovingByStrategy) {
    MixerRig rig;
    auto second = std::make_shared<Mixer>(1.0f, "second");
    ASSERT_TRUE(rig.engine->attach(second->avAudioNode()));

    // recursive: an input that also feeds the second mixer stays, connected to it. What else a
    // disconnect or a detach takes along is the node wiring tests' to show.
    auto shared = constantNode();
    rig.mixer->addInput(shared);
    second->addInput(shared);
    rig.mixer->removeInput(shared, DisconnectStrategy::recursive);
    EXPECT_FALSE(rig.mixer->hasInput(*shared));
    EXPECT_EQ(std::pair(rig.busses(*shared).size(), rig.busses(*shared, second.get()).size()),
              std::pair(std::size_t(0), std::size_t(1)));

    // detach: the whole upstream chain goes, even the part that feeds the second mixer.
    auto feedsBoth = constantNode();
    auto top = std::make_shared<PassThrough>(std::vector<std::shared_ptr<Node>>{feedsBoth});
    rig.mixer->addInput(top);
    second->addInput(feedsBoth);
    rig.mixer->removeInput(top, DisconnectStrategy::detach);
    EXPECT_EQ(std::pair(rig.attached(*top), rig.attached(*feedsBoth)), std::pair(false, false));
    EXPECT_TRUE(second->hasInput(*feedsBoth));

    // Removing all: inputs that fed only this mixer leave, the shared one stays with the second.
    auto only = constantNode();
    rig.mixer->addInput(only);
    rig.mixer->addInput(shared);
    rig.mixer->removeAllInputs();
    EXPECT_TRUE(rig.mixer->inputs().empty());
    EXPECT_EQ(std::pair(rig.attached(*only), rig.busses(*shared, second.get()).size()),
              std::pair(false, std::size_t(1)));
}

TEST(Mixer, ReservesBussesUpToThePlatformsLimit) {
    Mixer mixer;
    EXPECT_EQ(mixer.reserveInputBusses(3), 3);
    EXPECT_EQ(mixer.reserveInputBusses(5000), int(platform::MixerNode::maximumInputBusses));
}
