#include "RozezEru/Internals/EngineConnections.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/support/EngineRig.h"

#include "tests/support/ToolkitLogCapture.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace rozezeru;
// Named one by one: a using-directive would leak into the other files of a unity batch.
using platform::AudioConnectionPoint;
using platform::AudioFormat;
using platform::AudioNode;
using platform::CommonFormat;
using platform::MixerNode;
using platform::NullAudioDevice;
using testsupport::makeSine;
using testsupport::PassThroughNode;
using testsupport::renderOfflineFrames;
using testsupport::stereo;
using testsupport::ToolkitLogCapture;

namespace {

// An engine rendering offline, so that "running" needs no device thread.
std::unique_ptr<platform::AudioEngine> manualEngine() {
    auto engine = std::make_unique<platform::AudioEngine>(std::make_unique<NullAudioDevice>());
    EXPECT_TRUE(engine->enableManualRenderingMode(stereo(), 512));
    return engine;
}

template <typename Node>
std::shared_ptr<Node> attached(platform::AudioEngine& engine, std::shared_ptr<Node> node) {
    EXPECT_TRUE(engine.attach(node));
    return node;
}

std::vector<AudioConnectionPoint> destinations(platform::AudioEngine& engine, AudioNode& source) {
    return engine.outputConnectionPoints(source, 0);
}

} // namespace

TEST(InitializeMixer, GivesOnlyARunningEnginesEmptyMixerASilentDummy) {
    ToolkitLogCapture capture;
    auto engine = manualEngine();
    auto mixer = attached(*engine, std::make_shared<MixerNode>());
    ASSERT_TRUE(engine->connect(*mixer, engine->outputNode(), 0, 0, stereo()));
    auto effect = attached(*engine, std::make_shared<PassThroughNode>(stereo()));
    const auto nodesBefore = engine->attachedNodes().size();

    // Stopped engine.
    EXPECT_EQ(initializeMixer(*engine, *mixer), nullptr);
    ASSERT_TRUE(engine->start());
    // Not a mixer; a mixer of no engine.
    EXPECT_EQ(initializeMixer(*engine, *effect), nullptr);
    MixerNode loose;
    EXPECT_EQ(initializeMixer(*engine, loose), nullptr);
    EXPECT_EQ(engine->attachedNodes().size(), nodesBefore);
    EXPECT_TRUE(capture.sink.records().empty());

    auto dummy = initializeMixer(*engine, *mixer);
    ASSERT_NE(dummy, nullptr);
    EXPECT_EQ(dummy->typeName(), "EngineResetNode");
    EXPECT_TRUE(engine->isAttached(*dummy));
    EXPECT_EQ(engine->inputConnectionPoint(*mixer, 0)->node, dummy.get());
    EXPECT_EQ(mixer->inputFormat(0), Settings::audioFormat());
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::info);
    EXPECT_EQ(capture.contents("EngineConnections.cpp", "initializeMixer(_:)"),
              std::vector{"⚠️🎚 Added dummy to mixer (<MixerNode: " +
                          MemoryAddress::addressString(mixer.get()) +
                          "> with format <2 ch, 44100 Hz, Float32, deinterleaved>"});
    EXPECT_EQ(renderOfflineFrames(*engine, 1024, 512), std::vector(2, std::vector<float>(1024))) << "silence";

    // Now the mixer has an input: nothing more.
    EXPECT_EQ(initializeMixer(*engine, *mixer), nullptr);
    // Once the caller detached the dummy, the mixer counts as empty again.
    engine->detach(*dummy);
    EXPECT_FALSE(engine->inputConnectionPoint(*mixer, 0));
    auto again = initializeMixer(*engine, *mixer);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(engine->inputConnectionPoint(*mixer, 0)->node, again.get());
}

TEST(InitializeMixer, AFormatTheGraphCannotCarryLeavesNothingBehind) {
    const AudioFormat saved = Settings::audioFormat();
    Settings::setAudioFormat(*AudioFormat::make(platform::CommonFormat::pcmInt16, 44100, 2, true));
    ToolkitLogCapture capture;
    auto engine = manualEngine();
    auto mixer = attached(*engine, std::make_shared<MixerNode>());
    ASSERT_TRUE(engine->start());
    const auto nodesBefore = engine->attachedNodes().size();

    EXPECT_EQ(initializeMixer(*engine, *mixer), nullptr);
    EXPECT_EQ(engine->attachedNodes().size(), nodesBefore);
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    Settings::setAudioFormat(saved);
}

TEST(EngineConnections, AddConnectionKeepsTheOtherDestinations) {
    auto engine = manualEngine();
    auto source = makeSine(stereo(), 441.0).node;
    ASSERT_TRUE(engine->attach(source));
    auto first = attached(*engine, std::make_shared<PassThroughNode>(stereo()));
    auto second = attached(*engine, std::make_shared<MixerNode>());

    addConnection(*first, *source, 0, stereo());
    addConnection(*first, *source, 0, stereo());
    EXPECT_EQ(destinations(*engine, *source), (std::vector<AudioConnectionPoint>{{first.get(), 0}}));

    addConnection(*second, *source, 3, std::nullopt);
    addConnection(*second, *source, 5, std::nullopt);
    addConnection(*second, *source, 3, std::nullopt);
    EXPECT_EQ(destinations(*engine, *source),
              (std::vector<AudioConnectionPoint>{{first.get(), 0}, {second.get(), 3}, {second.get(), 5}}));

    // A destination in no engine: nothing happens.
    PassThroughNode loose(stereo());
    addConnection(loose, *source, 0, stereo());
    EXPECT_EQ(destinations(*engine, *source).size(), 3u);
}

TEST(EngineConnections, AddMixerConnectionTakesTheNextFreeBusOnce) {
    auto engine = manualEngine();
    auto mixer = attached(*engine, std::make_shared<MixerNode>());
    auto other = makeSine(stereo(), 441.0).node;
    auto source = makeSine(stereo(), 882.0).node;
    ASSERT_TRUE(engine->attach(other));
    ASSERT_TRUE(engine->attach(source));
    auto effect = attached(*engine, std::make_shared<PassThroughNode>(stereo()));

    addMixerConnection(*mixer, *other, stereo());
    EXPECT_EQ(destinations(*engine, *other), (std::vector<AudioConnectionPoint>{{mixer.get(), 0}}));

    // The source already feeds an effect: the mixer is added beside it, on the next free bus.
    ASSERT_TRUE(engine->connect(*source, *effect, 0, 0, stereo()));
    addMixerConnection(*mixer, *source, stereo());
    EXPECT_EQ(destinations(*engine, *source),
              (std::vector<AudioConnectionPoint>{{effect.get(), 0}, {mixer.get(), 1}}));

    // Already feeding the mixer, whatever the bus: nothing happens.
    addMixerConnection(*mixer, *source, stereo());
    addMixerConnection(*mixer, *other, std::nullopt);
    EXPECT_EQ(std::tuple(destinations(*engine, *source).size(), destinations(*engine, *other).size(),
                         mixer->nextAvailableInputBus()),
              std::tuple(std::size_t(2), std::size_t(1), 2u));

    MixerNode loose;
    addMixerConnection(loose, *source, stereo());
    EXPECT_EQ(destinations(*engine, *source).size(), 2u);
}

TEST(EngineConnections, RemoveConnectionCutsOnlyThatDestination) {
    auto engine = manualEngine();
    auto source = makeSine(stereo(), 441.0).node;
    ASSERT_TRUE(engine->attach(source));
    auto mixer = attached(*engine, std::make_shared<MixerNode>());
    auto effect = attached(*engine, std::make_shared<PassThroughNode>(stereo()));
    auto bystander = attached(*engine, std::make_shared<PassThroughNode>(stereo()));

    // Feeding only the mixer: all its outputs go.
    ASSERT_TRUE(engine->connect(*source, *mixer, 0, 2, stereo()));
    removeConnection(*mixer, *source, stereo());
    EXPECT_TRUE(destinations(*engine, *source).empty());
    EXPECT_FALSE(engine->inputConnectionPoint(*mixer, 2));

    // Feeding the mixer and the effect: the effect keeps its connection.
    ASSERT_TRUE(engine->connect(*source, {{mixer.get(), 0}, {effect.get(), 0}}, 0, stereo()));
    removeConnection(*mixer, *source, stereo());
    EXPECT_EQ(destinations(*engine, *source), (std::vector<AudioConnectionPoint>{{effect.get(), 0}}));

    // A node the source does not feed, and a node in no engine: nothing changes.
    removeConnection(*bystander, *source, stereo());
    PassThroughNode loose(stereo());
    removeConnection(loose, *source, stereo());
    EXPECT_EQ(destinations(*engine, *source), (std::vector<AudioConnectionPoint>{{effect.get(), 0}}));
}

TEST(ComponentDescriptions, ToolkitAndPlatformComponents) {
    using platform::AudioComponentDescription;
    constexpr std::uint32_t RoRo = 0x526F526F, appl = 0x6170706C, bpas = 0x62706173;
    for (auto [made, type, subtype, manufacturer, flags] :
         {std::tuple{componentDescription::make(0x61756678, bpas), 0x61756678u, bpas, RoRo, 2u},
          {componentDescription::appleEffect(0x64656C79), 0x61756678u, 0x64656C79u, appl, 0u},
          {componentDescription::effect("bpas"), 0x61756D66u, bpas, RoRo, 2u},
          {componentDescription::effect(bpas), 0x61756D66u, bpas, RoRo, 2u},
          {componentDescription::converter("tmpt"), 0x61756663u, 0x746D7074u, RoRo, 2u},
          {componentDescription::converter(0x746D7074), 0x61756663u, 0x746D7074u, RoRo, 2u},
          {componentDescription::mixer("dwm1"), 0x61756D78u, 0x64776D31u, RoRo, 2u},
          {componentDescription::generator("osc1"), 0x6175676Eu, 0x6F736331u, RoRo, 2u},
          {componentDescription::instrument("pluk"), 0x61756D75u, 0x706C756Bu, RoRo, 2u}})
        EXPECT_EQ(made, (AudioComponentDescription{type, subtype, manufacturer, flags, 0}));
    static_assert(componentDescription::effect("bpas").componentSubType == bpas);
}
