// The time-pitch unit's starts and its way past the stretcher: after a restart (a seek) or a load no
// cycle does a pipeline's work at once, silence and rate 1 cost no stretching, and the heard position
// and the sound go on unbroken across a switch between rate 1 and other rates.

#include "RenderAllocationTrap.h"
#include "StretchTestRig.h"

#include "platform/audio/TimePitchUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace platform;
using namespace stretchtest;

namespace {

constexpr std::uint32_t startFrames = 512;

int startCycles(double seconds) {
    return int(std::ceil(seconds * sampleRate / startFrames));
}

std::unique_ptr<TimePitchUnit> startUnit(float rate, float overlap = 8.0f) {
    auto unit = std::make_unique<TimePitchUnit>();
    unit->setRate(rate);
    unit->setOverlap(overlap);
    return unit;
}

// Renders `cycles` cycles, calling `beforeCycle(i)` first, and keeps the stretcher's work per cycle.
struct StartRun {
    Rendered out;
    std::vector<std::uint64_t> work; // frames through the stretcher in each cycle
};
StartRun renderCounting(StretchRig<TimePitchUnit>& rig, int cycles,
                        const std::function<void(int)>& beforeCycle = {}) {
    StartRun run;
    std::uint64_t before = rig.unit->stretchedFrames();
    run.out = renderCycles(rig, cycles, startFrames, [&](int i) {
        if (i > 0) {
            run.work.push_back(rig.unit->stretchedFrames() - before);
            before = rig.unit->stretchedFrames();
        }
        if (beforeCycle) beforeCycle(i);
    });
    run.work.push_back(rig.unit->stretchedFrames() - before);
    return run;
}

// Bursts of tone for 2 s of input, silence for 3 s, bursts again.
float burstsWithAPause(std::int64_t frame) {
    const double t = double(frame) / sampleRate;
    return t >= 2.0 && t < 5.0 ? 0.0f : toneBursts(frame);
}

} // namespace

TEST(TimePitchStart, NoCycleTakesInMuchMoreThanASteadyOneThroughSeeksAndRateChanges) {
    // What a cycle may put through the stretcher: a steady cycle's input (give or take the
    // regulation's tenth) and a starting stretcher's share, a cycle's worth and a quarter (at rate 1,
    // or at the rate when faster). Before, the first cycle after a start took in its stretcher's whole
    // pipeline, a dozen cycles' worth.
    for (float overlap : {8.0f, 6.0f, 4.0f}) {
        SCOPED_TRACE(overlap);
        auto rig = makeStretchRig(startUnit(0.8f, overlap), toneBursts);
        traptest::ScopedTrapHooks hooks;
        const float rates[] = {0.8f, 1.25f, 2.0f, 0.8f};
        std::vector<std::int64_t> restartedAt;
        std::vector<float> rateOf;
        const StartRun run = renderCounting(rig, 400, [&](int i) {
            if (i % 50 == 25) rig.unit->setRate(rates[(i / 50) % 4]);
            if (i % 50 == 0 && i > 0) {
                // A seek: the player goes on elsewhere and the unit drops what it holds.
                rig.unit->reset();
                restartedAt.push_back(rig.source.frames->load());
            }
            rateOf.push_back(rig.unit->rate());
        });
        traptest::expectNoRenderAllocations();
        EXPECT_EQ(rig.unit->underruns(), 0u);
        for (std::size_t i = 0; i < run.work.size(); ++i) {
            const double rate = std::max(rateOf[i], i > 0 ? rateOf[i - 1] : rateOf[i]);
            EXPECT_LE(double(run.work[i]), (1.25 * std::max(1.0, rate) + 1.1 * rate) * startFrames + 2.0)
                << "cycle " << i;
        }
        // After each seek the first frame heard is the input's next one, and the bursts come out
        // where the timing says their input plays, before and after.
        for (std::size_t k = 0; k < restartedAt.size(); ++k)
            EXPECT_EQ(run.out.cycles[50 * (k + 1)].timing.heardInputFrame, double(restartedAt[k]));
        const std::vector<double> onsets = burstOnsets(run.out.left);
        ASSERT_GE(onsets.size(), 15u);
        for (double onset : onsets)
            // (The heard position is followed from cycle to cycle, which a seek breaks.)
            if (int(onset / startFrames) % 50 != 49) {
                EXPECT_NEAR(burstError(heardAt(run.out.cycles, onset)), 0.0, overlap >= 8.0f ? 0.010 : 0.025)
                    << "onset at " << onset / sampleRate;
            }
    }
}

TEST(TimePitchStart, SilenceAndRateOneCostNoStretching) {
    // A player stopped for three seconds at rate 0.8: once the last burst has died away the stretcher
    // takes in nothing, and when the bursts come back they are heard where the timing says.
    auto rig = makeStretchRig(startUnit(0.8f), burstsWithAPause);
    const StartRun run = renderCounting(rig, startCycles(8.0));
    const int pauseFrom = startCycles(2.0 / 0.8 + 0.5), pauseTo = startCycles(5.0 / 0.8 - 0.3);
    for (int i = pauseFrom; i < pauseTo; ++i)
        EXPECT_EQ(run.work[std::size_t(i)], 0u) << "cycle " << i;
    EXPECT_EQ(*std::max_element(run.out.left.begin() + pauseFrom * startFrames,
                                run.out.left.begin() + pauseTo * startFrames),
              0.0f);
    const std::vector<double> onsets = burstOnsets(run.out.left);
    ASSERT_GE(onsets.size(), 14u);
    for (double onset : onsets)
        EXPECT_NEAR(burstError(heardAt(run.out.cycles, onset)), 0.0, 0.010)
            << "onset at " << onset / sampleRate;

    // At rate 1 and pitch 0 nothing goes through the stretcher: the input comes out unchanged, as late
    // as the timing says.
    auto unity = makeStretchRig(startUnit(1.0f), sine1k);
    const StartRun passed = renderCounting(unity, startCycles(2.0));
    EXPECT_EQ(unity.unit->stretchedFrames(), 0u);
    for (std::size_t i = 1; i < passed.out.cycles.size(); i += 17) {
        const StretchTiming& timing = passed.out.cycles[i].timing;
        const auto heard = std::int64_t(timing.heardInputFrame);
        EXPECT_EQ(timing.heardInputFrame, double(heard));
        EXPECT_GT(timing.latencySeconds(), 0.02);
        for (std::size_t k = 0; k < startFrames; k += 101)
            ASSERT_EQ(passed.out.left[i * startFrames + k], sine1k(heard + std::int64_t(k))) << i << " " << k;
    }
}

TEST(TimePitchStart, SwitchingBetweenRateOneAndOtherRatesIsSeamless) {
    // A teacher's rates around the recording's own; each switch to or from rate 1 crosses between
    // the stretcher and the input passed through.
    auto rig = makeStretchRig(startUnit(0.8f), sine1k);
    const float rates[] = {0.8f, 1.0f, 1.25f, 1.0f, 0.9f, 1.0f};
    const int every = startCycles(1.5);
    const StartRun run = renderCounting(rig, every * 6, [&](int i) {
        if (i % every == 0) rig.unit->setRate(rates[i / every]);
    });
    EXPECT_EQ(rig.unit->underruns(), 0u);
    const std::vector<float>& out = run.out.left;
    // No click: no step between samples beyond what the tone itself takes (0.071), no drop in level.
    const double toneStep = 2.0 * M_PI * 1000.0 * 0.5 / sampleRate;
    for (std::size_t k = startFrames; k < out.size(); ++k)
        ASSERT_LE(std::abs(out[k] - out[k - 1]), 1.25 * toneStep) << "at " << double(k) / sampleRate;
    for (std::size_t k = startFrames; k + 256 <= out.size(); k += 128)
        ASSERT_GT(testsupport::rms(out, k, k + 256), 0.8 * 0.5 / std::sqrt(2.0))
            << "at " << double(k) / sampleRate;
    // No jump in the heard position (a switch lines the input up with the stretched sound within
    // 6 ms), and at rate 1 the stretcher does no work once the switch is done.
    auto rateAt = [&](int cycle) { return double(rates[std::clamp(cycle / every, 0, 5)]); };
    for (int i = 1; i < int(run.out.cycles.size()); ++i) {
        double low = rateAt(i - 1), high = low;
        for (int back = 2; back <= 40 && i - back >= 0; ++back) {
            low = std::min(low, rateAt(i - back));
            high = std::max(high, rateAt(i - back));
        }
        const double moved =
            run.out.cycles[i].timing.heardInputFrame - run.out.cycles[i - 1].timing.heardInputFrame;
        EXPECT_GE(moved, low * startFrames - 0.006 * sampleRate) << "cycle " << i;
        EXPECT_LE(moved, high * startFrames + 0.006 * sampleRate) << "cycle " << i;
    }
    for (int segment : {1, 3, 5})
        for (int i = segment * every + 40; i < (segment + 1) * every; ++i)
            EXPECT_EQ(run.work[std::size_t(i)], 0u) << "cycle " << i;
}
