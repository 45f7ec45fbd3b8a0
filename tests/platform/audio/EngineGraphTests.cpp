#include "tests/support/EngineRig.h"

#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testsupport;

namespace {

std::unique_ptr<AudioDevice> graphTestDevice() {
    return nullDevice(48000.0, 512);
}

} // namespace

TEST(AudioEngineGraph, ConnectionsFanOutAndQueries) {
    AudioEngine engine(graphTestDevice());
    auto source = makeSine(stereo(), 440.0).node;
    auto a = std::make_shared<PassThroughNode>(stereo());
    auto b = std::make_shared<PassThroughNode>(stereo());
    ASSERT_TRUE(engine.attach(source));
    ASSERT_TRUE(engine.attach(a));
    ASSERT_TRUE(engine.attach(b));
    ASSERT_TRUE(engine.attach(a)); // twice is harmless
    EXPECT_EQ(a->engine(), &engine);
    EXPECT_EQ(engine.attachedNodes(),
              (std::vector<AudioNode*>{&engine.outputNode(), source.get(), a.get(), b.get()}));

    ASSERT_TRUE(engine.connect(*source, *a, 0, 0, mono(22050)));
    EXPECT_EQ(source->outputFormat(0), mono(22050));
    EXPECT_EQ(a->inputFormat(0), mono(22050));
    auto point = engine.inputConnectionPoint(*a, 0);
    ASSERT_TRUE(point);
    EXPECT_EQ(point->node, source.get());
    EXPECT_EQ(point->bus, 0u);

    // Fan-out replaces the source bus's connections with exactly the listed points.
    ASSERT_TRUE(engine.connect(*source, {{a.get(), 0}, {b.get(), 0}}, 0, stereo()));
    auto points = engine.outputConnectionPoints(*source, 0);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0], (AudioConnectionPoint{a.get(), 0}));
    EXPECT_EQ(points[1], (AudioConnectionPoint{b.get(), 0}));
    EXPECT_EQ(b->inputFormat(0), stereo());

    // A single connection from the same bus breaks the fan-out, as does a new source for a fed bus.
    ASSERT_TRUE(engine.connect(*source, *b, 0, 0, std::nullopt));
    EXPECT_EQ(engine.outputConnectionPoints(*source, 0).size(), 1u);
    EXPECT_FALSE(engine.inputConnectionPoint(*a, 0));
    ASSERT_TRUE(engine.connect(*a, *b, 0, 0, std::nullopt));
    EXPECT_TRUE(engine.outputConnectionPoints(*source, 0).empty());
    EXPECT_EQ(engine.inputConnectionPoint(*b, 0)->node, a.get());

    engine.disconnectNodeInput(*b, 0);
    EXPECT_FALSE(engine.inputConnectionPoint(*b, 0));
    ASSERT_TRUE(engine.connect(*source, {{a.get(), 0}, {b.get(), 0}}, 0, std::nullopt));
    engine.disconnectNodeOutput(*source);
    EXPECT_TRUE(engine.outputConnectionPoints(*source, 0).empty());
    EXPECT_FALSE(engine.inputConnectionPoint(*a, 0));

    // Detaching breaks every connection of the node and releases it.
    ASSERT_TRUE(engine.connect(*source, *a, 0, 0, std::nullopt));
    ASSERT_TRUE(engine.connect(*a, *b, 0, 0, std::nullopt));
    engine.detach(*a);
    EXPECT_EQ(a->engine(), nullptr);
    EXPECT_FALSE(engine.isAttached(*a));
    EXPECT_TRUE(engine.outputConnectionPoints(*source, 0).empty());
    EXPECT_FALSE(engine.inputConnectionPoint(*b, 0));
    EXPECT_EQ(a.use_count(), 1);
}

TEST(AudioEngineGraph, RefusesBadConnections) {
    AudioEngine engine(graphTestDevice());
    AudioEngine other(graphTestDevice());
    auto source = makeSine(stereo(), 440.0).node;
    auto a = std::make_shared<PassThroughNode>(stereo());
    auto b = std::make_shared<PassThroughNode>(stereo());
    auto stranger = std::make_shared<PassThroughNode>(stereo());

    EXPECT_FALSE(engine.connect(*source, *a, 0, 0, std::nullopt)); // not attached
    ASSERT_TRUE(engine.attach(source));
    ASSERT_TRUE(engine.attach(a));
    ASSERT_TRUE(engine.attach(b));
    ASSERT_TRUE(other.attach(stranger));
    EXPECT_FALSE(engine.attach(stranger));
    EXPECT_FALSE(engine.attach(nullptr));
    EXPECT_FALSE(engine.connect(*source, *stranger, 0, 0, std::nullopt));

    EXPECT_FALSE(engine.connect(*source, *a, 1, 0, std::nullopt)); // no output bus 1
    EXPECT_FALSE(engine.connect(*source, *a, 0, 1, std::nullopt)); // no input bus 1
    auto interleaved = AudioFormat::make(CommonFormat::pcmFloat32, 44100, 2, true);
    auto integer = AudioFormat::make(CommonFormat::pcmInt16, 44100, 2, false);
    EXPECT_FALSE(engine.connect(*source, *a, 0, 0, *interleaved));
    EXPECT_FALSE(engine.connect(*source, *a, 0, 0, *integer));

    // Cycles, direct or through other nodes.
    ASSERT_TRUE(engine.connect(*a, *b, 0, 0, std::nullopt));
    EXPECT_FALSE(engine.connect(*b, *a, 0, 0, std::nullopt));
    EXPECT_FALSE(engine.connect(*a, *a, 0, 0, std::nullopt));
    EXPECT_FALSE(engine.connect(*b, {{a.get(), 0}}, 0, std::nullopt));
    EXPECT_FALSE(engine.connect(*source, {{a.get(), 0}, {a.get(), 0}}, 0, std::nullopt));

    // The engine's ends only connect the way round the device allows.
    EXPECT_FALSE(engine.connect(engine.outputNode(), *a, 0, 0, std::nullopt));
    EXPECT_FALSE(engine.connect(*a, engine.inputNode(), 0, 0, std::nullopt));
    // Nothing above changed the graph.
    EXPECT_FALSE(engine.inputConnectionPoint(*a, 0));
    EXPECT_EQ(engine.inputConnectionPoint(*b, 0)->node, a.get());
}

TEST(AudioEngineGraph, SpecialNodesAndMixerBusses) {
    AudioEngine engine(graphTestDevice());
    EXPECT_EQ(engine.outputNode().outputFormat(0), stereo(48000));
    EXPECT_TRUE(engine.isAttached(engine.outputNode()));
    engine.detach(engine.outputNode());
    EXPECT_TRUE(engine.isAttached(engine.outputNode()));

    MixerNode& mixer = engine.mainMixerNode();
    EXPECT_EQ(&mixer, &engine.mainMixerNode());
    auto toOutput = engine.outputConnectionPoints(mixer, 0);
    ASSERT_EQ(toOutput.size(), 1u);
    EXPECT_EQ(toOutput[0].node, &engine.outputNode());
    EXPECT_EQ(mixer.outputFormat(0), stereo(48000));

    InputNode& input = engine.inputNode();
    EXPECT_EQ(&input, &engine.inputNode());
    EXPECT_EQ(input.outputFormat(0).sampleRate(), 48000.0);

    // Mixer inputs take the lowest free bus and grow as needed.
    auto s1 = makeSine(mono(), 100).node, s2 = makeSine(mono(), 200).node, s3 = makeSine(mono(), 300).node;
    for (auto& s : {s1, s2, s3})
        ASSERT_TRUE(engine.attach(s));
    EXPECT_EQ(mixer.nextAvailableInputBus(), 0u);
    ASSERT_TRUE(engine.connect(*s1, mixer, std::nullopt));
    ASSERT_TRUE(engine.connect(*s2, mixer, std::nullopt));
    ASSERT_TRUE(engine.connect(*s3, mixer, std::nullopt));
    EXPECT_EQ(engine.inputConnectionPoint(mixer, 2)->node, s3.get());
    EXPECT_EQ(mixer.numberOfInputs(), 3u);
    engine.disconnectNodeInput(mixer, 1);
    EXPECT_EQ(mixer.nextAvailableInputBus(), 1u);
    ASSERT_TRUE(engine.connect(*s2, mixer, 0, 7, std::nullopt));
    EXPECT_EQ(mixer.numberOfInputs(), 8u);
    EXPECT_FALSE(engine.connect(*s2, mixer, 0, MixerNode::maximumInputBusses, std::nullopt));

    // Volumes and pans are limited.
    mixer.setOutputVolume(-0.5f);
    EXPECT_EQ(mixer.outputVolume(), 0.0f);
    mixer.setOutputVolume(4.0f);
    EXPECT_EQ(mixer.outputVolume(), 4.0f);
    mixer.setPan(3.0f);
    EXPECT_EQ(mixer.pan(), 1.0f);
    mixer.setInputPan(2, -7.0f);
    EXPECT_EQ(mixer.inputPan(2), -1.0f);
    mixer.setInputVolume(2, std::nanf(""));
    EXPECT_EQ(mixer.inputVolume(2), 0.0f);
    EXPECT_EQ(mixer.inputVolume(MixerNode::maximumInputBusses), 1.0f);

    // Detaching the main mixer lets a new one be made.
    engine.detach(mixer);
    MixerNode& again = engine.mainMixerNode();
    EXPECT_EQ(engine.outputConnectionPoints(again, 0).size(), 1u);
}
