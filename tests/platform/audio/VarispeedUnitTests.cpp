#include "RenderAllocationTrap.h"
#include "StretchTestRig.h"

#include "platform/audio/AudioComponentRegistry.h"
#include "platform/audio/VarispeedUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace platform;
using namespace stretchtest;

namespace {

constexpr std::uint32_t vsFrames = 512;

std::unique_ptr<VarispeedUnit> varispeed(float rate) {
    auto unit = std::make_unique<VarispeedUnit>();
    unit->setRate(rate);
    return unit;
}

} // namespace

TEST(VarispeedUnit, RateMovesPitchAndSpeedTogether) {
    for (float rate : {2.0f, 0.5f, 4.0f, 0.25f}) {
        SCOPED_TRACE(rate);
        auto rig = makeStretchRig(varispeed(rate), sine1k);
        const Rendered out = renderCycles(rig, 100, vsFrames);
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(out.left, 1024, sampleRate), 1000.0 * rate,
                    10.0 * rate);
        EXPECT_NEAR(testsupport::zeroCrossingFrequency(out.right, 1024, sampleRate), 1000.0 * rate,
                    10.0 * rate);
        const CycleRecord& early = out.cycles[10];
        const CycleRecord& late = out.cycles.back();
        EXPECT_NEAR(double(late.sourceFrames - early.sourceFrames) /
                        double(late.timing.outputFrames - early.timing.outputFrames),
                    rate, 0.001 * rate);
        // No delay to speak of: the first output frame plays the first input frame.
        EXPECT_NEAR(late.timing.heardInputFrame, rate * double(late.timing.outputFrames), 1e-6);
        EXPECT_LT(late.timing.latencySeconds(), 0.01);
        EXPECT_EQ(rig.unit->underruns(), 0u);
    }
}

TEST(VarispeedUnit, OutputMatchesTheResampledInput) {
    // At rate 2 output frame k plays input frame 2k: compare with the sine itself, beyond the first
    // frames where the filter has no history.
    auto rig = makeStretchRig(varispeed(2.0f), sine1k);
    const Rendered out = renderCycles(rig, 20, vsFrames);
    double worst = 0.0;
    for (std::size_t k = 256; k < out.left.size(); ++k)
        worst = std::max(worst, double(std::fabs(out.left[k] - sine1k(std::int64_t(2 * k)))));
    EXPECT_LT(worst, 0.01);
}

TEST(VarispeedUnit, RateChangesGlideWithoutOvershoot) {
    auto rig = makeStretchRig(varispeed(1.0f), toneBursts);
    const double rates[] = {1.0, 2.0, 0.5, 4.0, 0.25, 1.5};
    const int every = 40;
    auto rateOf = [&](int cycle) { return rates[std::clamp(cycle / every, 0, 5)]; };
    const Rendered out = renderCycles(rig, every * 6, vsFrames, [&](int cycle) {
        if (cycle % every == 0) rig.unit->setRate(float(rateOf(cycle)));
    });
    EXPECT_EQ(rig.unit->underruns(), 0u);
    for (int i = 2; i < int(out.cycles.size()); ++i) {
        SCOPED_TRACE(i);
        // A new rate glides across one cycle: the heard position moves between the old and new rates ...
        const double low = std::min(rateOf(i - 2), rateOf(i - 1)) * vsFrames;
        const double high = std::max(rateOf(i - 2), rateOf(i - 1)) * vsFrames;
        const double heard = out.cycles[i].timing.heardInputFrame - out.cycles[i - 1].timing.heardInputFrame;
        EXPECT_GE(heard, low - 1e-6);
        EXPECT_LE(heard, high + 1e-6);
        // ... and the cycle takes its input at the pace of its rates, plus the filter's wider reach
        // when the rate goes up.
        const double slowest = std::min(rateOf(i - 1), rateOf(i)) * vsFrames;
        const double fastest = std::max(rateOf(i - 1), rateOf(i)) * vsFrames;
        const double consumed = double(out.cycles[i].sourceFrames - out.cycles[i - 1].sourceFrames);
        EXPECT_GE(consumed, 0.9 * slowest - 2.0);
        EXPECT_LE(consumed, fastest + 200.0);
    }
    // What is heard is where the timing says.
    const std::vector<double> onsets = burstOnsets(out.left);
    ASSERT_GE(onsets.size(), 15u);
    for (double onset : onsets)
        EXPECT_NEAR(burstError(heardAt(out.cycles, onset)), 0.0, 0.003) << "onset at " << onset / sampleRate;
}

TEST(VarispeedUnit, BypassPassesInputUnchanged) {
    auto rig = makeStretchRig(varispeed(3.0f), sine1k);
    renderCycles(rig, 10, vsFrames);
    rig.unit->setShouldBypassEffect(true);
    const std::int64_t at = rig.source.frames->load();
    const Rendered bypassed = renderCycles(rig, 5, vsFrames);
    for (std::size_t i = 0; i < bypassed.left.size(); ++i)
        ASSERT_EQ(bypassed.left[i], sine1k(at + std::int64_t(i))) << i;
    EXPECT_EQ(rig.source.frames->load() - at, 5 * vsFrames);
    EXPECT_DOUBLE_EQ(bypassed.cycles.back().timing.latencyFrames(), 0.0);
    rig.unit->setShouldBypassEffect(false);
    const Rendered again = renderCycles(rig, 20, vsFrames);
    EXPECT_NEAR(testsupport::zeroCrossingFrequency(again.left, 512, sampleRate), 3000.0, 30.0);
    EXPECT_EQ(rig.unit->underruns(), 0u);
}

TEST(VarispeedUnit, RenderThreadDoesNotAllocate) {
    auto rig = makeStretchRig(varispeed(1.0f), sine1k, 1024);
    traptest::ScopedTrapHooks hooks;
    const float rates[] = {1.0f, 0.25f, 4.0f, 0.8f, 1.3f, 3.7f};
    const std::uint32_t sizes[] = {512, 1024, 1, 333};
    auto buffer = PcmBuffer::make(stretchStereo(), 1024);
    for (int i = 0; i < 400; ++i) {
        if (i % 5 == 0) rig.unit->setRate(rates[(i / 5) % 6]);
        if (i == 200) rig.unit->setShouldBypassEffect(true);
        if (i == 210) rig.unit->setShouldBypassEffect(false);
        ASSERT_EQ(*rig.engine->renderOffline(sizes[i % 4], *buffer), ManualRenderingStatus::success);
    }
    EXPECT_EQ(testsupport::AllocationTrap::renderCycles(), 400u);
    traptest::expectNoRenderAllocations();
    EXPECT_EQ(rig.unit->underruns(), 0u);
}

TEST(VarispeedUnit, ParametersAndRegistration) {
    VarispeedUnit unit;
    EXPECT_EQ(unit.rate(), 1.0f);
    const auto rate = unit.parameterTree()->parameterWithIdentifier("rate");
    ASSERT_TRUE(rate);
    EXPECT_EQ(rate->minValue(), 0.25f);
    EXPECT_EQ(rate->maxValue(), 4.0f);
    unit.setRate(10.0f);
    EXPECT_EQ(unit.rate(), 4.0f);
    rate->setValue(0.1f);
    EXPECT_EQ(rate->value(), 0.25f);
    unit.setRate(NAN);
    EXPECT_EQ(unit.rate(), 0.25f);
    EXPECT_GE(unit.maximumFramesToPull(0, 512), 4u * 512u);

    auto node = AudioComponentRegistry::shared().instantiate(VarispeedUnit::componentDescription());
    ASSERT_TRUE(node);
    EXPECT_NE(dynamic_cast<VarispeedUnit*>(&(*node)->auAudioUnit()), nullptr);
    const auto found = AudioComponentRegistry::shared().components({0x61756663u, 0, 0x6170706cu, 0, 0});
    EXPECT_EQ(found.size(), 2u); // 'aufc' ... 'appl': the time-pitch and varispeed units
}
