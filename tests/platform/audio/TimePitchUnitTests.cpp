#include "RenderAllocationTrap.h"
#include "StretchTestRig.h"

#include "platform/audio/AudioComponentRegistry.h"
#include "platform/audio/TimePitchUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <tuple>

using namespace platform;
using namespace stretchtest;

namespace {

constexpr std::uint32_t tpFrames = 512;

std::unique_ptr<TimePitchUnit> timePitch(float rate, float pitch = 0.0f, float overlap = 8.0f) {
    auto unit = std::make_unique<TimePitchUnit>();
    unit->setRate(rate);
    unit->setPitch(pitch);
    unit->setOverlap(overlap);
    return unit;
}

int cyclesFor(double seconds) {
    return int(std::ceil(seconds * sampleRate / tpFrames));
}

} // namespace

TEST(TimePitchUnit, RateChangesSpeedButNotPitch) {
    for (float overlap : {8.0f, 6.0f, 4.0f}) {
        SCOPED_TRACE(overlap);
        auto rig = makeStretchRig(timePitch(2.0f, 0.0f, overlap), sine1k);
        const Rendered out = renderCycles(rig, cyclesFor(3.0), tpFrames);
        ASSERT_EQ(rig.unit->usesFinerEngine(), overlap >= TimePitchUnit::shortWindowOverlap);

        const std::size_t from = std::size_t(0.5 * sampleRate);
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(out.left, from, sampleRate), 1000.0, 10.0);
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(out.right, from, sampleRate), 1000.0, 10.0);

        // Input goes twice as fast as output once under way, and the output starts with the input.
        const CycleRecord& early = out.cycles[20];
        const CycleRecord& late = out.cycles.back();
        const double consumed = double(late.sourceFrames - early.sourceFrames);
        const double rendered = double(late.timing.outputFrames - early.timing.outputFrames);
        EXPECT_NEAR(consumed / rendered, 2.0, 0.02);
        EXPECT_EQ(out.cycles.front().timing.heardInputFrame, 0.0);
        EXPECT_NEAR(late.timing.heardInputFrame - early.timing.heardInputFrame, 2.0 * rendered, 1.0);
        EXPECT_EQ(rig.unit->underruns(), 0u);
    }
}

TEST(TimePitchUnit, PitchShiftsWithoutChangingSpeed) {
    for (float overlap : {8.0f, 6.0f, 4.0f}) {
        SCOPED_TRACE(overlap);
        auto rig = makeStretchRig(timePitch(1.0f, 1200.0f, overlap), sine1k);
        const Rendered out = renderCycles(rig, cyclesFor(2.0), tpFrames);
        const std::size_t from = std::size_t(0.5 * sampleRate);
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(out.left, from, sampleRate), 2000.0, 20.0);
        const CycleRecord& early = out.cycles[20];
        const CycleRecord& late = out.cycles.back();
        EXPECT_NEAR(double(late.sourceFrames - early.sourceFrames) /
                        double(late.timing.outputFrames - early.timing.outputFrames),
                    1.0, 0.02);
        // An octave down at half speed: 500 Hz, half the input.
        rig.unit->setPitch(-1200.0f);
        rig.unit->setRate(0.5f);
        const Rendered down = renderCycles(rig, cyclesFor(2.0), tpFrames);
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(down.left, from, sampleRate), 500.0, 5.0);
        EXPECT_NEAR(double(down.cycles.back().sourceFrames - down.cycles[40].sourceFrames) /
                        double(down.cycles.back().timing.outputFrames - down.cycles[40].timing.outputFrames),
                    0.5, 0.01);
        EXPECT_EQ(rig.unit->underruns(), 0u);
    }
}

TEST(TimePitchUnit, ReportedLatencyTiesOutputToInput) {
    // Over N seconds of output at 0.8, the input position less the latency moves 0.8 N seconds on.
    auto rig = makeStretchRig(timePitch(0.8f), toneBursts);
    const Rendered out = renderCycles(rig, cyclesFor(6.0), tpFrames);
    const StretchTiming first = out.cycles[40].timing;
    const StretchTiming last = out.cycles.back().timing;
    const double outputSeconds = double(last.outputFrames - first.outputFrames) / sampleRate;
    EXPECT_NEAR(double(last.inputFrames - first.inputFrames) / sampleRate -
                    (last.latencySeconds() - first.latencySeconds()),
                0.8 * outputSeconds, 0.010);
    EXPECT_GT(last.latencySeconds(), 0.02);
    EXPECT_LT(last.latencySeconds(), 0.25);
    EXPECT_DOUBLE_EQ(rig.unit->latencySeconds(), last.latencySeconds());
    EXPECT_EQ(last.sampleTime, std::int64_t(last.outputFrames));
}

TEST(TimePitchUnit, HeardPositionFollowsRateChanges) {
    // A teacher's rate changes while playing; the timing stays on what is heard.
    for (float overlap : {8.0f, 6.0f, 4.0f}) {
        SCOPED_TRACE(overlap);
        auto rig = makeStretchRig(timePitch(1.0f, 0.0f, overlap), toneBursts);
        const float rates[] = {1.0f, 0.8f, 1.1f, 0.9f, 1.25f, 1.0f};
        const int every = cyclesFor(1.5);
        const Rendered out = renderCycles(rig, every * 6, tpFrames, [&](int cycle) {
            if (cycle % every == 0) rig.unit->setRate(rates[cycle / every]);
        });
        const std::vector<double> onsets = burstOnsets(out.left);
        ASSERT_GE(onsets.size(), 30u);
        const double tolerance = overlap >= 8.0f ? 0.010 : 0.025;
        for (double onset : onsets)
            EXPECT_NEAR(burstError(heardAt(out.cycles, onset)), 0.0, tolerance)
                << "onset at " << onset / sampleRate;
        EXPECT_EQ(rig.unit->underruns(), 0u);
    }
}

TEST(TimePitchUnit, RateChangesDoNotOvershoot) {
    auto rig = makeStretchRig(timePitch(1.0f), sine1k);
    const double rates[] = {1.0, 2.0, 0.5, 1.5, 0.75};
    const int every = 60;
    auto rateOf = [&](int cycle) { return rates[std::clamp(cycle / every, 0, 4)]; };
    const Rendered out = renderCycles(rig, every * 5, tpFrames, [&](int cycle) {
        if (cycle % every == 0) rig.unit->setRate(float(rateOf(cycle)));
    });
    EXPECT_EQ(rig.unit->underruns(), 0u);
    for (int i = 21; i < int(out.cycles.size()); ++i) {
        SCOPED_TRACE(i);
        // A change glides through the stretcher: the heard position moves at one of the rates set during
        // the last 20 cycles (a latency's worth), never faster or slower (but for the few milliseconds
        // a switch between the stretcher and the input passed through may move to line the two up) ...
        double low = rateOf(i), high = rateOf(i);
        for (int back = 1; back <= 20; ++back) {
            low = std::min(low, rateOf(i - back));
            high = std::max(high, rateOf(i - back));
        }
        const double heard = out.cycles[i].timing.heardInputFrame - out.cycles[i - 1].timing.heardInputFrame;
        EXPECT_GE(heard, low * tpFrames - 1.0);
        EXPECT_LE(heard, high * (tpFrames + 128.0) + 1.0);
        // ... and the input is consumed at a steady pace: at those rates, give or take a tenth, with a
        // starting stretcher's share on top.
        const double consumed = double(out.cycles[i].sourceFrames - out.cycles[i - 1].sourceFrames);
        EXPECT_GE(consumed, 0.9 * low * tpFrames - 2.0);
        EXPECT_LE(consumed, (1.1 + 1.5) * high * tpFrames + 2.0);
    }
}

TEST(TimePitchUnit, BypassPassesInputUnchanged) {
    auto rig = makeStretchRig(timePitch(0.8f), sine1k);
    renderCycles(rig, 40, tpFrames);
    rig.unit->setShouldBypassEffect(true);
    const std::int64_t at = rig.source.frames->load();
    const Rendered bypassed = renderCycles(rig, 10, tpFrames);
    for (std::size_t i = 0; i < bypassed.left.size(); ++i) {
        ASSERT_EQ(bypassed.left[i], sine1k(at + std::int64_t(i))) << i;
        ASSERT_EQ(bypassed.right[i], sine1k(at + std::int64_t(i))) << i;
    }
    EXPECT_EQ(rig.source.frames->load() - at, 10 * tpFrames);
    EXPECT_DOUBLE_EQ(bypassed.cycles.back().timing.latencyFrames(), 0.0);

    // Back on, it starts afresh from the input it has reached, with the pitch kept.
    rig.unit->setShouldBypassEffect(false);
    const Rendered again = renderCycles(rig, cyclesFor(1.0), tpFrames);
    EXPECT_NEAR(testsupport::zeroCrossingFrequency(again.left, 4096, sampleRate), 1000.0, 10.0);
    EXPECT_EQ(again.cycles.front().timing.heardInputFrame, double(at + 10 * tpFrames));
    EXPECT_NEAR(again.cycles.back().timing.heardInputFrame - again.cycles[40].timing.heardInputFrame,
                0.8 * double(again.cycles.back().timing.outputFrames - again.cycles[40].timing.outputFrames),
                1.0);
}

TEST(TimePitchUnit, RenderThreadDoesNotAllocate) {
    for (float overlap : {8.0f, 6.0f, 4.0f}) {
        SCOPED_TRACE(overlap);
        auto rig = makeStretchRig(timePitch(1.0f, 0.0f, overlap), sine1k, 1024);
        traptest::ScopedTrapHooks hooks;
        const float rates[] = {1.0f, 0.5f, 2.0f, 0.8f, 1.25f, 4.0f, 0.25f, 1.0f};
        const float pitches[] = {0.0f, 700.0f, -1200.0f, 2400.0f, -350.0f, 0.0f};
        const std::uint32_t sizes[] = {512, 1024, 64, 333};
        auto buffer = PcmBuffer::make(stretchStereo(), 1024);
        for (int i = 0; i < 600; ++i) {
            if (i % 7 == 0) rig.unit->setRate(rates[(i / 7) % 8]);
            if (i % 50 == 0) rig.unit->setPitch(pitches[(i / 50) % 6]);
            if (i == 300) rig.unit->setShouldBypassEffect(true);
            if (i == 320) rig.unit->setShouldBypassEffect(false);
            ASSERT_EQ(*rig.engine->renderOffline(sizes[i % 4], *buffer), ManualRenderingStatus::success);
        }
        EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 600u);
        traptest::expectNoRenderAllocations();
    }
}

TEST(TimePitchUnit, OverlapSwitchesEngineOffTheRenderThread) {
    auto rig = makeStretchRig(timePitch(1.25f), sine1k);
    renderCycles(rig, 50, tpFrames);
    traptest::ScopedTrapHooks hooks;
    rig.unit->setOverlap(4.0f);
    EXPECT_FALSE(rig.unit->usesFinerEngine());
    const Rendered faster = renderCycles(rig, cyclesFor(1.5), tpFrames);
    rig.unit->setOverlap(6.0f);
    EXPECT_EQ(rig.unit->engine(), TimePitchEngine::finerShortWindow);
    const Rendered shortWindow = renderCycles(rig, cyclesFor(1.5), tpFrames);
    rig.unit->setOverlap(16.0f);
    EXPECT_EQ(rig.unit->engine(), TimePitchEngine::finer);
    const Rendered finer = renderCycles(rig, cyclesFor(1.5), tpFrames);
    traptest::expectNoRenderAllocations();
    // Each engine plays the tone at its pitch once it has restarted, and the timing holds across.
    for (const Rendered* out : {&faster, &shortWindow, &finer}) {
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(out->left, std::size_t(0.5 * sampleRate), sampleRate),
                    1000.0, 10.0);
        const StretchTiming& a = out->cycles[40].timing;
        const StretchTiming& b = out->cycles.back().timing;
        EXPECT_NEAR((b.heardInputFrame - a.heardInputFrame) / double(b.outputFrames - a.outputFrames), 1.25,
                    0.001);
    }
}

TEST(TimePitchUnit, ParametersClampAndReachTheTree) {
    TimePitchUnit unit;
    EXPECT_EQ(std::tuple(unit.rate(), unit.pitch(), unit.overlap(), unit.usesFinerEngine()),
              std::tuple(1.0f, 0.0f, 8.0f, true));
    const auto tree = unit.parameterTree();
    ASSERT_TRUE(tree);
    const auto rate = tree->parameterWithIdentifier("rate");
    const auto pitch = tree->parameterWithIdentifier("pitch");
    const auto overlap = tree->parameterWithIdentifier("overlap");
    ASSERT_TRUE(rate && pitch && overlap);
    EXPECT_EQ(std::tuple(rate->address(), rate->minValue(), rate->maxValue(), pitch->unit()),
              std::tuple(TimePitchUnit::rateAddress, 1.0f / 32.0f, 32.0f, AudioUnitParameterUnit::cents));

    unit.setRate(0.0f);
    EXPECT_EQ(unit.rate(), 0.03125f);
    unit.setRate(100.0f);
    EXPECT_EQ(rate->value(), 32.0f);
    rate->setValue(2.0f);
    EXPECT_EQ(unit.rate(), 2.0f);
    unit.setRate(NAN);
    EXPECT_EQ(unit.rate(), 2.0f);
    unit.setPitch(3000.0f);
    EXPECT_EQ(unit.pitch(), 2400.0f);
    EXPECT_TRUE(unit.setParameter(TimePitchUnit::pitchAddress, -5000.0f));
    EXPECT_EQ(pitch->value(), -2400.0f);
    unit.setOverlap(1.0f);
    EXPECT_EQ(unit.overlap(), 3.0f);
    EXPECT_FALSE(unit.usesFinerEngine());
    unit.setOverlap(64.0f);
    EXPECT_EQ(overlap->value(), 32.0f);

    // A cycle of n frames may pull the top rate's worth and the regulation's room.
    EXPECT_GE(unit.maximumFramesToPull(0, 512), 512u * 32u);
    EXPECT_LE(unit.maximumFramesToPull(0, 1u << 20), TimePitchUnit::maximumInputFramesPerCycle);
}

TEST(TimePitchUnit, RegisteredAndSizedByTheEngine) {
    const AudioComponentDescription description{TimePitchUnit::componentDescription()};
    EXPECT_EQ(description.componentSubType, 0x746d7074u); // 'tmpt'
    auto node = AudioComponentRegistry::shared().instantiate({0x61756663u, 0x746d7074u, 0x6170706cu, 0, 0});
    ASSERT_TRUE(node);
    auto* unit = dynamic_cast<TimePitchUnit*>(&(*node)->auAudioUnit());
    ASSERT_NE(unit, nullptr);

    // The engine sizes what feeds the unit for the unit's largest pull.
    AudioEngine engine(std::make_unique<NullAudioDevice>());
    ASSERT_TRUE(engine.enableManualRenderingMode(stretchStereo(), 1024));
    auto source = testsupport::makeSine(stretchStereo(), 1000.0);
    ASSERT_TRUE(engine.attach(*node));
    ASSERT_TRUE(engine.attach(source.node));
    ASSERT_TRUE(engine.connect(*source.node, **node, 0, 0, stretchStereo()));
    ASSERT_TRUE(engine.connect(**node, engine.outputNode(), 0, 0, stretchStereo()));
    ASSERT_TRUE(engine.start());
    EXPECT_EQ(engine.renderCapacity(*source.node), unit->maximumFramesToPull(0, 1024));
    unit->setRate(32.0f);
    auto buffer = PcmBuffer::make(stretchStereo(), 1024);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(*engine.renderOffline(1024, *buffer), ManualRenderingStatus::success);
    EXPECT_NEAR(double(source.frames->load()) / (20.0 * 1024.0), 32.0, 4.0);
    EXPECT_FALSE((*node)->configurationError());
}

TEST(TimePitchUnit, ControlFromAnotherThreadWhileADeviceRenders) {
    // The device's thread renders as fast as it can while this thread changes rates, switches engines
    // and reads the timing, as a player's main thread does.
    auto ownedDevice = testsupport::nullDevice(44100.0, 512, NullAudioDevice::Pacing::asFastAsPossible);
    NullAudioDevice& device = *ownedDevice;
    AudioEngine engine(std::move(ownedDevice));
    auto owned = timePitch(1.0f);
    TimePitchUnit& unit = *owned;
    auto node = std::make_shared<AudioUnitNode>(std::move(owned));
    auto source = testsupport::makeSource(stretchStereo(), sine1k);
    ASSERT_TRUE(engine.attach(node));
    ASSERT_TRUE(engine.attach(source.node));
    ASSERT_TRUE(engine.connect(*source.node, *node, 0, 0, stretchStereo()));
    ASSERT_TRUE(engine.connect(*node, engine.mainMixerNode(), 0, 0, stretchStereo()));
    traptest::ScopedTrapHooks hooks;
    ASSERT_TRUE(engine.start());

    std::int64_t lastOutput = -1;
    for (int step = 0; step < 12; ++step) {
        const std::uint64_t until = device.periodsRendered() + 15;
        unit.setRate(step % 2 ? 0.9f : 1.2f);
        if (step % 3 == 0) unit.setOverlap(step % 2 ? 8.0f : 4.0f);
        while (device.periodsRendered() < until) {
            if (const auto timing = unit.timing()) {
                EXPECT_GE(timing->outputFrames, lastOutput);
                EXPECT_GE(timing->latencyFrames(), 0.0);
                lastOutput = timing->outputFrames;
            }
            std::this_thread::yield();
        }
    }
    engine.stop();
    EXPECT_GT(testsupport::AllocationTrap::renderCycles(), 150u);
    traptest::expectNoRenderAllocations();
    EXPECT_GT(lastOutput, 0);
}
