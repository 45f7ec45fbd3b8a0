#include "RozezEru/Nodes/EnvironmentalNode.h"

#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/Mixer3D.h"
#include "platform/audio/MixerNode.h"

#include "NodeTestRig.h"

#include <gtest/gtest.h>

using rozezeru::EnvironmentalNode;
using rozezeru::Mixer;
using rozezeru::Mixer3D;

namespace {

// An environment node at the output of a running offline engine.
struct EnvironmentalRig {
    std::unique_ptr<platform::AudioEngine> engine = nodetest::runningManualEngine();
    std::shared_ptr<EnvironmentalNode> environment = std::make_shared<EnvironmentalNode>();
    std::shared_ptr<Mixer3D> mixer =
        std::make_shared<Mixer3D>(std::vector<std::shared_ptr<rozezeru::Node>>{testsupport::constantNode()});

    EnvironmentalRig() {
        EXPECT_TRUE(engine->attach(environment->avAudioNode()));
        EXPECT_TRUE(
            engine->connect(*environment->avAudioNode(), engine->outputNode(), 0, 0, testsupport::stereo()));
    }
    std::vector<platform::AudioConnectionPoint> destinations() const {
        return engine->outputConnectionPoints(*mixer->avAudioNode(), 0);
    }
};

} // namespace

TEST(EnvironmentalNode, KeepsItsListUntilWired) {
    EnvironmentalNode environment;
    EXPECT_EQ(environment.name(), "(unset)");
    EXPECT_TRUE(environment.inputs().empty());
    auto mixer = std::make_shared<Mixer3D>();
    environment.connect(mixer);
    environment.connect(mixer);
    EXPECT_EQ(environment.inputs().size(), 2u);
    environment.removeInputs();
    EXPECT_TRUE(environment.inputs().empty());
    // The parameter objects are the platform node's own.
    EXPECT_EQ(&environment.distanceAttenuationParameters(),
              &environment.avAudioEnvironmentNode()->distanceAttenuationParameters());
}

TEST(EnvironmentalNode, WiresALoneMixer3DInMonoAndPlacesThatMixer) {
    EnvironmentalRig rig;
    rig.environment->connect(rig.mixer);
    rig.environment->makeAVConnections();
    rig.environment->makeAVConnections(); // a mixer already feeding it is left alone
    const auto points = rig.destinations();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0].node, rig.environment->avAudioNode().get());
    const auto format = rig.environment->avAudioNode()->inputFormat(points[0].bus);
    EXPECT_EQ(format.channelCount(), 1u);
    EXPECT_EQ(format.sampleRate(), rozezeru::Settings::sampleRate());

    rig.mixer->setPosition({-3, 0, 0});
    // Where a placed source is heard is the platform environment's test.
    EXPECT_EQ(rig.mixer->mixerAU()->position(), (platform::Audio3DPoint{-3, 0, 0}));
}

TEST(EnvironmentalNode, KeepsTheOtherDestinationsOfAMixer3D) {
    EnvironmentalRig rig;
    auto other = std::make_shared<Mixer>(1.0f, "other");
    ASSERT_TRUE(rig.engine->attach(other->avAudioNode()));
    other->addInput(rig.mixer);
    rig.environment->connect(rig.mixer);
    rig.environment->makeAVConnections();
    const auto points = rig.destinations();
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].node, other->avAudioNode().get());
    EXPECT_EQ(points[1].node, rig.environment->avAudioNode().get());
    EXPECT_EQ(rig.environment->avAudioNode()->inputFormat(points[1].bus), rig.mixer->outputFormat());
}
