#include "RozezEru/Nodes/Node.h"

#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/Mixer.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/MixerNode.h"

#include "NodeTestRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <memory>

using nodetest::bussesFed;
using nodetest::GainNode;
using rozezeru::Mixer;
using rozezeru::Node;
using testsupport::constantNode;
using testsupport::PassThrough;
using Nodes = std::vector<std::shared_ptr<Node>>;
using Busses = std::vector<std::uint32_t>;
using testsupport::ToolkitLogCapture;

namespace {

// A platform engine with an attached (but unconnected) node as the root of the wiring.
struct WiringRig {
    std::unique_ptr<platform::AudioEngine> engine =
        std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());

    template <typename T> std::shared_ptr<T> root(std::shared_ptr<T> node) {
        EXPECT_TRUE(engine->attach(node->avAudioNode()));
        return node;
    }
    bool attached(const Node& node) const { return engine->isAttached(*node.avAudioNode()); }
    // The input busses of `to` that `from` feeds.
    Busses busses(const Node& from, const Node& to) const {
        return bussesFed(*engine, *from.avAudioNode(), *to.avAudioNode());
    }
};

std::string nodeTestKey(const Node& node, const char* className) {
    return std::string(className) + "_" + rozezeru::MemoryAddress::addressString(&node);
}

} // namespace

TEST(NodeWiring, ConnectsAnEffectsInputsToTheirBussesAndWiresUpstreamDepthFirst) {
    WiringRig rig;
    auto deep = constantNode();
    auto first = std::make_shared<PassThrough>(Nodes{deep});
    auto second = constantNode();
    auto effect = rig.root(std::make_shared<GainNode>(Nodes{first, second}, 2));

    effect->makeAVConnections();
    EXPECT_EQ(
        (std::vector{rig.busses(*first, *effect), rig.busses(*second, *effect), rig.busses(*deep, *first)}),
        (std::vector<Busses>{{0}, {1}, {0}}));

    // A one-element list connects its element to bus 0.
    auto replacement = constantNode();
    effect->makeAVConnections({replacement});
    EXPECT_EQ(rig.busses(*replacement, *effect), Busses{0});
}

TEST(NodeWiring, GivesAMixersInputsDistinctBussesAndItsVolume) {
    WiringRig rig;
    Nodes sources{constantNode(), constantNode(), constantNode()};
    auto mixer = rig.root(std::make_shared<Mixer>(sources, "sum"));
    mixer->setVolume(0.5f);
    mixer->mixerAU()->setOutputVolume(1.0f);

    mixer->makeAVConnections();
    Busses busses;
    for (const auto& source : sources)
        for (auto bus : rig.busses(*source, *mixer))
            busses.push_back(bus);
    std::sort(busses.begin(), busses.end());
    EXPECT_EQ(std::pair(busses, mixer->mixerAU()->outputVolume()), std::pair((Busses{0, 1, 2}), 0.5f));

    // Wiring again changes nothing.
    mixer->makeAVConnections();
    for (const auto& source : sources)
        EXPECT_EQ(rig.busses(*source, *mixer).size(), 1u);
}

TEST(NodeWiring, StopsAtAnInputOfAnotherEngine) {
    ToolkitLogCapture capture;
    WiringRig rig;
    platform::AudioEngine other(std::make_unique<platform::NullAudioDevice>());
    auto before = constantNode();
    auto foreign = constantNode();
    auto after = constantNode();
    ASSERT_TRUE(other.attach(foreign->avAudioNode()));
    auto mixer = rig.root(std::make_shared<Mixer>(Nodes{before, foreign, after}));

    mixer->makeAVConnections();
    EXPECT_EQ(rig.busses(*before, *mixer).size(), 1u);
    EXPECT_EQ(std::pair(foreign->avAudioNode()->engine(), after->avAudioNode()->engine()),
              std::pair(&other, static_cast<platform::AudioEngine*>(nullptr)));

    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::info);
    EXPECT_EQ(capture.contents("Node.cpp", "makeAVConnections(for:)"),
              std::vector<std::string>{"🛑 Error: Attempt to connect nodes from different engines."});
}

TEST(NodeWiring, DisconnectTakesOutOnlyWhatFeedsNothingElse) {
    WiringRig rig;
    auto exclusiveUpstream = constantNode();
    auto sharedUpstream = constantNode();
    auto input = std::make_shared<PassThrough>(Nodes{exclusiveUpstream});
    auto sharedInput = constantNode();
    auto mixer = rig.root(std::make_shared<Mixer>(Nodes{input, sharedInput}));
    auto other = rig.root(std::make_shared<Mixer>(Nodes{sharedInput, sharedUpstream}));
    mixer->makeAVConnections();
    other->makeAVConnections();
    EXPECT_EQ(rig.busses(*sharedInput, *mixer).size(), 1u);

    // Only feeds the mixer: it leaves the engine with its exclusive input.
    mixer->disconnect(*input);
    EXPECT_EQ(std::pair(rig.attached(*input), rig.attached(*exclusiveUpstream)), std::pair(false, false));

    // Also feeds the other mixer: only this connection goes.
    mixer->disconnect(*sharedInput);
    EXPECT_EQ(std::pair(rig.busses(*sharedInput, *mixer), rig.busses(*sharedInput, *other)),
              std::pair(Busses{}, Busses{0}));
    EXPECT_TRUE(rig.attached(*sharedUpstream));

    // Nodes in no engine: nothing happens.
    auto loose = std::make_shared<Mixer>(Nodes{sharedUpstream});
    loose->disconnect(*sharedUpstream);
    loose->disconnectInputs();
    EXPECT_TRUE(rig.attached(*sharedUpstream));
}

TEST(NodeWiring, DetachAndDisconnectInputsWalkTheWholeChain) {
    WiringRig rig;
    auto source = constantNode();
    auto middle = std::make_shared<PassThrough>(Nodes{source});
    auto top = rig.root(std::make_shared<PassThrough>(Nodes{middle}));
    top->makeAVConnections();
    ASSERT_TRUE(rig.engine->inputConnectionPoint(*middle->avAudioNode(), 0));

    top->disconnectInputs();
    EXPECT_FALSE(rig.engine->inputConnectionPoint(*top->avAudioNode(), 0));
    EXPECT_FALSE(rig.engine->inputConnectionPoint(*middle->avAudioNode(), 0));
    EXPECT_TRUE(rig.attached(*source));

    // A root that was never attached still takes its attached inputs out.
    auto never = std::make_shared<PassThrough>(Nodes{middle});
    never->detach();
    EXPECT_EQ(std::pair(rig.attached(*middle), rig.attached(*source)), std::pair(false, false));
    EXPECT_TRUE(rig.attached(*top));
}

TEST(NodeUnit, StartStopBypassAndResetReachTheUnit) {
    GainNode node;
    EXPECT_TRUE(node.isStarted());
    node.stop();
    EXPECT_EQ(std::pair(node.unit().shouldBypassEffect(), node.isStarted()), std::pair(true, false));
    node.start();
    EXPECT_FALSE(node.unit().shouldBypassEffect());
    node.bypass();
    EXPECT_FALSE(node.isStarted());
    node.reset();
    EXPECT_EQ(node.unit().resets.load(), 1);

    // Without a unit there is no flag: always started.
    auto source = constantNode();
    source->stop();
    EXPECT_TRUE(source->isStarted());

    // The output format follows the settings at the time of asking.
    const auto saved = rozezeru::Settings::audioFormat();
    rozezeru::Settings::setSampleRate(22050.0);
    EXPECT_EQ(source->outputFormat().sampleRate(), 22050.0);
    rozezeru::Settings::setAudioFormat(saved);
    EXPECT_EQ(source->outputFormat(), saved);
}

TEST(NodeMIDI, SchedulesTheBytesAtTheOffsetIntoTheNextCycle) {
    auto rig = nodetest::runningManualEngine();
    auto node = std::make_shared<GainNode>();
    ASSERT_TRUE(rig->attach(node->avAudioNode()));
    ASSERT_TRUE(rig->connect(*node->avAudioNode(), rig->outputNode(), 0, 0, testsupport::stereo()));

    const std::array<std::uint8_t, 3> noteOn{0x90, 60, 100};
    node->scheduleMIDIEvent(noteOn, 37);
    // Out of range: nothing is scheduled.
    node->scheduleMIDIEvent(noteOn, std::uint64_t(1) << 63);
    (void)testsupport::renderOfflineFrames(*rig, 512, 512);

    ASSERT_EQ(node->unit().midiCount(), 1u);
    const auto& record = node->unit().midi(0);
    EXPECT_EQ(std::tuple(record.time - record.cycleStart, record.length, record.data),
              std::tuple(37, 3, noteOn));

    constantNode()->scheduleMIDIEvent(noteOn, 0); // a node without a unit ignores MIDI
}

// How the tree is built from a list, an empty one among them, is the node parameter tests' to show.
TEST(NodeParameters, SetupBuildsTheTreeInDeclarationOrder) {
    nodetest::ParameterisedGainNode node;
    const auto& tree = node.unit().parameterTree()->allParameters();
    ASSERT_EQ(tree.size(), 2u);
    EXPECT_EQ(
        std::tuple(tree[0]->identifier(), tree[0]->address(), tree[1]->identifier(), tree[1]->address()),
        std::tuple("cutoff", 7u, "gain", 0u));
    EXPECT_EQ(std::pair(node.cutoff.projectedValue()->parameter(), node.gain.projectedValue()->parameter()),
              std::pair(tree[0], tree[1]));
}

TEST(NodeTexts, DotGraphListsLabelsOnceAndEveryEdge) {
    auto source = constantNode();
    EXPECT_EQ(source->dotGraph(), "digraph patch {\n  graph [rankdir = \"LR\"];\n}");

    auto left = std::make_shared<PassThrough>(Nodes{source});
    auto right = std::make_shared<PassThrough>(Nodes{source});
    auto mixer = std::make_shared<Mixer>(Nodes{left, right}, "out");
    mixer->setLabel("Out");
    source->setLabel("Tone");
    left->setLabel("");

    std::string expected =
        "digraph patch {\n  graph [rankdir = \"LR\"];\n  $M [label=\"Out\"];\n  $L -> $M;\n"
        "  $S -> $L;\n  $S [label=\"Tone\"];\n  $R -> $M;\n  $S -> $R;\n}";
    for (auto [mark, key] : {std::pair{"$M", nodeTestKey(*mixer, "Mixer")},
                             {"$L", nodeTestKey(*left, "PassThrough")},
                             {"$R", nodeTestKey(*right, "PassThrough")},
                             {"$S", nodeTestKey(*source, "SignalNode")}})
        for (auto at = expected.find(mark); at != std::string::npos; at = expected.find(mark))
            expected.replace(at, 2, key);
    EXPECT_EQ(mixer->dotGraph(), expected);
}

TEST(NodeTexts, LabelsGoWithTheirNode) {
    // The same storage holds two nodes in turn: the second must not inherit the first's label.
    alignas(Mixer) std::byte storage[sizeof(Mixer)];
    Mixer* first = std::construct_at(reinterpret_cast<Mixer*>(storage), 1.0f, "first");
    first->setLabel("first");
    std::destroy_at(first);
    Mixer* second = std::construct_at(reinterpret_cast<Mixer*>(storage), 1.0f, "second");
    EXPECT_EQ(second->label(), "");
    std::destroy_at(second);
}

TEST(NodeTexts, TreeTextIndentsInputsAndNamesNamedNodes) {
    Mixer main(1.0f, "main");
    EXPECT_EQ(main.connectionTreeText(), "RozezEru | ↳Mixer(\"main\")");

    auto source = constantNode();
    auto effect = std::make_shared<PassThrough>(Nodes{source});
    Mixer top(Nodes{effect, source}, "top");
    EXPECT_EQ(top.connectionTreeText(), "RozezEru | ↳Mixer(\"top\")\n"
                                        "RozezEru |  ↳PassThrough\n"
                                        "RozezEru |   ↳SignalNode\n"
                                        "RozezEru |  ↳SignalNode");
    EXPECT_EQ(source->className(), "SignalNode");
}
