#include "ShelfReference.h"

#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

using namespace shelftest;
using kerneltest::EventList;
using kerneltest::KernelHarness;

namespace {

constexpr float shelfQ = 0.70710678f; // 1/sqrt(2): the shelf is flat at gain 1

void setShelf(HighShelfParametricEqualizerFilterDSP& dsp, float frequency, float gain, float q,
              bool immediate) {
    dsp.setParameter(HighShelfParametricEqualizerFilterDSP::centerFrequencyAddress, frequency, immediate);
    dsp.setParameter(HighShelfParametricEqualizerFilterDSP::gainAddress, gain, immediate);
    dsp.setParameter(HighShelfParametricEqualizerFilterDSP::qAddress, q, immediate);
}

float peak(const std::vector<float>& samples, std::size_t from) {
    float largest = 0.0f;
    for (std::size_t i = from; i < samples.size(); ++i)
        largest = std::max(largest, std::fabs(samples[i]));
    return largest;
}

} // namespace

TEST(HighShelfKernel, DCPassesAtUnityNyquistAtTheGainAndGainOneIsTheIdentity) {
    for (float gain : {0.25f, 2.0f, 10.0f}) {
        SCOPED_TRACE(gain);
        HighShelfParametricEqualizerFilterDSP dsp;
        KernelHarness harness(dsp);
        setShelf(dsp, 1000.0f, gain, 0.707f, false); // before init: jumps
        dsp.init(2, 44100.0);
        Stereo input{std::vector<float>(4096, 0.5f), std::vector<float>(4096)};
        for (std::size_t n = 0; n < input.right.size(); ++n)
            input.right[n] = n % 2 ? -0.5f : 0.5f; // at half the sample rate
        const Stereo output = filterInPlace(harness, input);
        EXPECT_NEAR(output.left.back(), 0.5f, 1e-4f);
        EXPECT_NEAR(peak(output.right, 2048) / 0.5f, gain, gain * 1e-3f);
    }

    HighShelfParametricEqualizerFilterDSP flat;
    KernelHarness harness(flat);
    setShelf(flat, 3000.0f, 1.0f, shelfQ, false);
    flat.init(2, 44100.0);
    const Stereo input{testsupport::lcgNoise(2000, 1u), testsupport::lcgNoise(2000, 2u)};
    const Stereo output = filterInPlace(harness, input, 300);
    for (std::size_t n = 0; n < input.left.size(); ++n) {
        ASSERT_NEAR(output.left[n], input.left[n], 1e-5f) << n;
        ASSERT_NEAR(output.right[n], input.right[n], 1e-5f) << n;
    }
}

TEST(HighShelfKernel, ChannelsShareTheSettingsButNotTheirStateAndMatchABareModule) {
    HighShelfParametricEqualizerFilterDSP dsp;
    KernelHarness harness(dsp);
    setShelf(dsp, 2500.0f, 4.0f, 0.9f, false);
    dsp.init(2, 44100.0);
    const Stereo input{testsupport::lcgNoise(3000, 7u), std::vector<float>(3000, 0.0f)};
    const Stereo output = filterInPlace(harness, input, 256);
    ReferenceShelf reference(44100);
    EXPECT_EQ(output.left, reference.filter(input.left, 2500.0f, 4.0f, 0.9f));
    // A signal on the left only leaves the right silent.
    EXPECT_EQ(output.right, std::vector<float>(3000, 0.0f));

    // Different inputs, same settings: each channel equals its own bare module.
    HighShelfParametricEqualizerFilterDSP both;
    KernelHarness bothHarness(both);
    setShelf(both, 2500.0f, 4.0f, 0.9f, false);
    both.init(2, 44100.0);
    const Stereo pair{testsupport::lcgNoise(1000, 3u), testsupport::sine(1000, 5000.0, 44100.0, 0.5)};
    const Stereo filtered = filterInPlace(bothHarness, pair, 100);
    ReferenceShelf left(44100), right(44100);
    EXPECT_EQ(filtered.left, left.filter(pair.left, 2500.0f, 4.0f, 0.9f));
    EXPECT_EQ(filtered.right, right.filter(pair.right, 2500.0f, 4.0f, 0.9f));
}

TEST(HighShelfKernel, ARampReachesTheModulesFrameByFrame) {
    HighShelfParametricEqualizerFilterDSP dsp;
    KernelHarness harness(dsp);
    setShelf(dsp, 1000.0f, 1.0f, 0.707f, false);
    dsp.init(2, 44100.0);
    EXPECT_EQ(dsp.getParameter(HighShelfParametricEqualizerFilterDSP::gainAddress), 1.0f);

    const Stereo warmUp{testsupport::lcgNoise(100, 11u), testsupport::lcgNoise(100, 12u)};
    const Stereo input{testsupport::lcgNoise(1200, 13u), testsupport::lcgNoise(1200, 14u)};
    ReferenceShelf left(44100), right(44100);
    filterInPlace(harness, warmUp);
    left.filter(warmUp.left, 1000.0f, 1.0f, 0.707f);
    right.filter(warmUp.right, 1000.0f, 1.0f, 0.707f);

    dsp.setParameter(HighShelfParametricEqualizerFilterDSP::gainAddress, 10.0f, false);
    EXPECT_EQ(dsp.getParameter(HighShelfParametricEqualizerFilterDSP::gainAddress), 10.0f);
    const Stereo output = filterInPlace(harness, input, 128, 100);
    for (std::uint32_t k = 0; k < 1200; ++k) {
        const float gain = rampValue(1.0f, 10.0f, 881, k);
        ASSERT_EQ(output.left[k], left.step(input.left[k], 1000.0f, gain, 0.707f)) << k;
        ASSERT_EQ(output.right[k], right.step(input.right[k], 1000.0f, gain, 0.707f)) << k;
    }
}

TEST(HighShelfKernel, SampleRatesReachTheModulesInWholeHertz) {
    struct Case {
        double rate;
        int moduleRate;
    };
    for (const Case c : {Case{48000.0, 48000}, Case{44100.9, 44100}}) {
        SCOPED_TRACE(c.rate);
        HighShelfParametricEqualizerFilterDSP dsp;
        KernelHarness harness(dsp);
        setShelf(dsp, 6000.0f, 3.0f, 0.707f, false);
        dsp.init(2, c.rate);
        const Stereo input{testsupport::lcgNoise(500, 5u), testsupport::lcgNoise(500, 6u)};
        ReferenceShelf reference(c.moduleRate);
        EXPECT_EQ(filterInPlace(harness, input).left, reference.filter(input.left, 6000.0f, 3.0f, 0.707f));
    }
}

TEST(HighShelfKernel, ResetClearsHistoryOnlyWhileInitializedAndNotesChangeNothing) {
    HighShelfParametricEqualizerFilterDSP dsp;
    dsp.reset(); // before init: nothing to reset
    KernelHarness harness(dsp);
    setShelf(dsp, 1000.0f, 5.0f, 0.707f, false);
    dsp.init(2, 44100.0);
    const Stereo input{testsupport::lcgNoise(400, 21u), testsupport::lcgNoise(400, 22u)};
    const Stereo fresh = filterInPlace(harness, input);
    filterInPlace(harness, Stereo{testsupport::lcgNoise(300, 23u), testsupport::lcgNoise(300, 24u)});
    dsp.reset();
    // The parameters stay, the history is gone: the same input gives the same output again.
    EXPECT_EQ(dsp.getParameter(HighShelfParametricEqualizerFilterDSP::gainAddress), 5.0f);
    EXPECT_EQ(filterInPlace(harness, input).left, fresh.left);

    // Note-ons, even with velocity 0, and note-offs leave every sample as it was.
    dsp.reset();
    EventList notes;
    notes.midi(5, {0x90, 64, 127}).midi(9, {0x90, 64, 0}).midi(12, {0x80, 64, 0});
    std::copy(input.left.begin(), input.left.begin() + 400, harness.output(0));
    std::copy(input.right.begin(), input.right.begin() + 400, harness.output(1));
    harness.render(0, 400, notes.head(), nullptr);
    EXPECT_EQ(std::vector<float>(harness.output(0), harness.output(0) + 400), fresh.left);
    EXPECT_EQ(std::vector<float>(harness.output(1), harness.output(1) + 400), fresh.right);

    // A render of no frames leaves the output untouched.
    std::fill_n(harness.output(0), 8, 3.0f);
    harness.render(400, 0, nullptr, nullptr);
    EXPECT_EQ(harness.output(0)[0], 3.0f);

    dsp.deinit();
    dsp.reset(); // after deinit: nothing to reset
    dsp.init(2, 44100.0);
    EXPECT_EQ(filterInPlace(harness, input).left, fresh.left);
}

TEST(HighShelfKernel, InitResetAndDeinitReleaseWhatTheyMadeAndRenderingAllocatesNothing) {
    HighShelfParametricEqualizerFilterDSP dsp;
    KernelHarness harness(dsp);
    setShelf(dsp, 1000.0f, 2.0f, 0.707f, false);
    const Stereo input{testsupport::lcgNoise(2048, 31u), testsupport::lcgNoise(2048, 32u)};

    testsupport::AllocationTrap::resetCounts();
    {
        // The whole life cycle, counted on this thread: an init over an init, resets, deinit.
        testsupport::ScopedRenderThread counting;
        dsp.init(2, 44100.0);
        dsp.init(2, 48000.0);
        for (int i = 0; i < 10; ++i)
            dsp.reset();
        dsp.deinit();
        dsp.init(2, 44100.0);
        dsp.deinit();
    }
    const auto lifecycle = testsupport::AllocationTrap::renderThreadCounts();
    EXPECT_GT(lifecycle.allocations, 0u);
    EXPECT_EQ(lifecycle.allocations, lifecycle.deallocations);

    dsp.init(2, 44100.0);
    std::copy_n(input.left.begin(), 2048, harness.output(0));
    std::copy_n(input.right.begin(), 2048, harness.output(1));
    dsp.setParameter(HighShelfParametricEqualizerFilterDSP::gainAddress, 8.0f, false);
    EventList events;
    events.ramp(500, HighShelfParametricEqualizerFilterDSP::qAddress, 1.2f, 300).midi(700, {0x90, 60, 1});
    const auto* head = events.head();
    testsupport::AllocationTrap::resetCounts();
    {
        testsupport::ScopedRenderThread rendering;
        harness.render(0, 2048, head, nullptr);
    }
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}

TEST(HighShelfKernel, AMonoOutputIsFilteredOnItsOneChannel) {
    HighShelfParametricEqualizerFilterDSP dsp;
    KernelHarness harness(dsp, 1);
    setShelf(dsp, 1000.0f, 3.0f, 0.707f, false);
    dsp.init(1, 44100.0);
    const std::vector<float> input = testsupport::lcgNoise(256, 41u);
    std::copy(input.begin(), input.end(), harness.output(0));
    harness.render(0, 256, nullptr, nullptr);
    ReferenceShelf reference(44100);
    EXPECT_EQ(std::vector<float>(harness.output(0), harness.output(0) + 256),
              reference.filter(input, 1000.0f, 3.0f, 0.707f));
}
