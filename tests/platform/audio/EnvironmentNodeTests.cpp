#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"
#include "tests/support/Signals.h"
#include "tests/support/Spectrum.h"

#include "platform/audio/EnvironmentNode.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testsupport;

namespace {

// signal (mono) -> a mixer placed in 3D -> environment -> stereo output, offline at 44.1 kHz.
struct EnvironmentRig {
    std::unique_ptr<AudioEngine> engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    std::shared_ptr<EnvironmentNode> environment = std::make_shared<EnvironmentNode>();
    std::shared_ptr<MixerNode> source = std::make_shared<MixerNode>();
    CountingSource signal;

    template <typename Signal> explicit EnvironmentRig(Signal value) : signal(makeSource(mono(), value)) {
        EXPECT_TRUE(engine->enableManualRenderingMode(stereo(), 512));
        for (auto node : std::vector<std::shared_ptr<AudioNode>>{environment, source, signal.node})
            EXPECT_TRUE(engine->attach(node));
        EXPECT_TRUE(engine->connect(*signal.node, *source, mono()));
        EXPECT_TRUE(engine->connect(*source, *environment, mono()));
        EXPECT_TRUE(engine->connect(*environment, engine->outputNode(), stereo()));
        EXPECT_TRUE(engine->start());
    }
    // The last frame of `frames` more, once the gains have settled.
    std::pair<float, float> settle(std::uint32_t frames = 2048) {
        const auto out = renderOfflineFrames(*engine, frames, 512);
        return {out[0].back(), out[1].back()};
    }
};

float environmentTestMaximumStep(const std::vector<float>& samples) {
    float step = 0.0f;
    for (std::size_t i = 1; i < samples.size(); ++i)
        step = std::max(step, std::fabs(samples[i] - samples[i - 1]));
    return step;
}

} // namespace

TEST(EnvironmentNode, PansEqualPowerByWhereTheSourceIs) {
    const float side = 0.5f, centre = 0.5f * std::sqrt(0.5f);   // two metres away: inverse gain 1/2
    using Case = std::tuple<Audio3DPoint, float, float, float>; // position, yaw, left and right gains
    const Case cases[] = {
        {{0, 0, -2}, 0, centre, centre},        {{-2, 0, 0}, 0, side, 0},  {{2, 0, 0}, 0, 0, side},
        {{2, 0, 0}, 90, centre, centre},        {{0, 0, -2}, 90, side, 0}, {{0, 2, 0}, 0, centre, centre},
        {{0, 0, 0}, 0, 2 * centre, 2 * centre}, // at the listener: no side, no distance
    };
    for (const auto& [position, yaw, leftGain, rightGain] : cases) {
        EnvironmentRig rig([](std::int64_t) { return 1.0f; });
        rig.source->setPosition(position);
        rig.environment->setListenerAngularOrientation({yaw, 0, 0});
        const auto [left, right] = rig.settle();
        EXPECT_NEAR(left, leftGain, 1e-5f) << position.x << "," << position.z << " yaw " << yaw;
        EXPECT_NEAR(right, rightGain, 1e-5f) << position.x << "," << position.z << " yaw " << yaw;
    }
}

TEST(EnvironmentNode, DoublingTheDistanceFollowsTheModel) {
    using Model = AudioEnvironmentDistanceAttenuationModel;
    using Case = std::tuple<Model, float, float, float, float>;
    const Case cases[] = {
        {Model::inverse, 1, 1, 100000, 0.5f},      {Model::inverse, 0.5f, 1, 100000, 0.6f},
        {Model::exponential, 1, 1, 100000, 0.5f},  {Model::exponential, 2, 1, 100000, 0.25f},
        {Model::linear, 1, 1, 9, 0.625f / 0.875f}, {Model::inverse, 1, 1, 2, 1.0f}, // beyond the maximum
    };
    for (const auto& [model, rolloff, reference, maximum, ratio] : cases) {
        EnvironmentRig rig([](std::int64_t) { return 1.0f; });
        auto& attenuation = rig.environment->distanceAttenuationParameters();
        attenuation.setDistanceAttenuationModel(model);
        attenuation.setRolloffFactor(rolloff);
        attenuation.setReferenceDistance(reference);
        attenuation.setMaximumDistance(maximum);
        rig.source->setPosition({0, 0, -2});
        const float near = rig.settle().first;
        rig.source->setPosition({0, 0, -4});
        EXPECT_NEAR(rig.settle().first / near, ratio, 1e-5f) << int(model) << " rolloff " << rolloff;
    }
}

TEST(EnvironmentNode, MovingASourceGlidesWithoutClicks) {
    EnvironmentRig rig([](std::int64_t) { return 1.0f; });
    rig.source->setPosition({-2, 0, 0});
    auto before = renderOfflineFrames(*rig.engine, 2048, 512);
    rig.source->setPosition({2, 0, 0});
    rig.environment->setOutputVolume(2.0f);
    const auto after = renderOfflineFrames(*rig.engine, 2048, 333);
    const float glideFrames = std::round(float(EnvironmentNode::glideSeconds) * 44100.0f);
    for (std::uint32_t c = 0; c < 2; ++c) {
        before[c].insert(before[c].end(), after[c].begin(), after[c].end());
        // Each gain moves by at most its whole change over the glide: 1/2 for the side, 1 for the volume.
        EXPECT_LE(environmentTestMaximumStep(before[c]), 1.5f / glideFrames * 1.01f) << c;
    }
    EXPECT_NEAR(after[0].back(), 0.0f, 1e-6f);
    EXPECT_NEAR(after[1].back(), 1.0f, 1e-5f);
}

TEST(EnvironmentNode, ReverbSendLeavesATailAndNothingAllocates) {
    traptest::ScopedTrapHooks hooks;
    for (bool reverbOn : {false, true}) {
        EnvironmentRig rig([](std::int64_t n) { return n < 64 ? 1.0f : 0.0f; });
        rig.environment->reverbParameters().setEnable(reverbOn);
        rig.environment->reverbParameters().setLevel(6.0f);
        rig.source->setReverbBlend(0.5f);
        rig.source->setPosition({1, 0, -1});
        testsupport::AllocationTrap::resetCounts();
        const auto out = renderOfflineFrames(*rig.engine, 8192, 512);
        traptest::expectNoRenderAllocations();
        const double tail = rms(out[0], 4096) + rms(out[1], 4096);
        EXPECT_EQ(tail > 1e-6, reverbOn) << tail;
    }
}

TEST(EnvironmentNode, ListenerOrientationsAreOne) {
    EnvironmentNode environment;
    environment.setListenerAngularOrientation({90, 0, 0});
    const auto turned = environment.listenerVectorOrientation();
    EXPECT_NEAR(turned.forward.x, 1.0f, 1e-6f);
    EXPECT_NEAR(turned.forward.z, 0.0f, 1e-6f);
    EXPECT_NEAR(turned.up.y, 1.0f, 1e-6f);

    environment.setListenerVectorOrientation({{0, 0, -3}, {1, 1, 0}});
    const auto tilted = environment.listenerAngularOrientation();
    EXPECT_NEAR(tilted.yaw, 0.0f, 1e-4f);
    EXPECT_NEAR(tilted.roll, 45.0f, 1e-4f);
    EXPECT_NEAR(environment.listenerVectorOrientation().forward.z, -1.0f, 1e-6f);

    environment.setListenerVectorOrientation({{0, 0, -1}, {0, 0, 2}}); // up along forward: ignored
    EXPECT_NEAR(environment.listenerAngularOrientation().roll, 45.0f, 1e-4f);
}

TEST(EnvironmentNode, PlaysEachSourceAtItsRateWithoutAllocating) {
    traptest::ScopedTrapHooks hooks;
    const double step = 2.0 * std::numbers::pi * 441.0 / 44100.0;
    const float level = 0.5f * std::sqrt(0.5f); // a 0.5 sine at the listener, equal power on each side
    // The rate as set, the rate played (limited to 0.5 ... 2).
    const std::pair<float, float> cases[] = {{1.0f, 1.0f},   {2.0f, 2.0f}, {0.5f, 0.5f},
                                             {0.75f, 0.75f}, {4.0f, 2.0f}, {0.1f, 0.5f}};
    for (const auto& [rate, played] : cases) {
        SCOPED_TRACE(rate);
        EnvironmentRig rig([step](std::int64_t n) { return float(0.5 * std::sin(step * double(n))); });
        rig.source->setPosition({0, 0, 0});
        // The first cycles play at rate 1: the change reaches a running render.
        (void)renderOfflineFrames(*rig.engine, 2048, 512);
        rig.source->setRate(rate);
        EXPECT_EQ(rig.source->rate(), played);
        testsupport::AllocationTrap::resetCounts();
        const std::int64_t pulledBefore = rig.signal.frames->load();
        const auto out = renderOfflineFrames(*rig.engine, 16384, 512);
        traptest::expectNoRenderAllocations();
        ASSERT_EQ(out.size(), 2u);
        // The source is pulled at its rate, the pitch follows, and its level stays.
        EXPECT_NEAR(double(rig.signal.frames->load() - pulledBefore) / 16384.0, played, 0.02);
        EXPECT_NEAR(spectralPeakFrequency(out[0], 4096, 44100.0), 441.0 * played, 2.0);
        for (std::uint32_t c = 0; c < 2; ++c)
            EXPECT_NEAR(toneAmplitude(out[c], 44100.0, 441.0 * played, 4096), level, 0.01 * level) << c;
    }
    // Equal-power panning is the one algorithm rendered.
    EXPECT_EQ(
        EnvironmentNode().applicableRenderingAlgorithms(),
        std::vector<Audio3DMixingRenderingAlgorithm>{Audio3DMixingRenderingAlgorithm::equalPowerPanning});
}
