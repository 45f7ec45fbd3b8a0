#include "ShelfReference.h"

#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

using namespace shelftest;
using kerneltest::EventList;
using testsupport::lcgNoise;

TEST(HighShelfKernel, ChannelsShareTheSettingsButNotTheirStateAndMatchABareModule) {
    // A signal on the left only leaves the right silent; different inputs each equal their own bare module.
    for (const Stereo& input : {Stereo{lcgNoise(3000, 7u), std::vector<float>(3000, 0.0f)},
                                Stereo{lcgNoise(1000, 3u), testsupport::sine(1000, 5000.0, 44100.0, 0.5)}}) {
        Shelf shelf(2500.0f, 4.0f, 0.9f);
        const Stereo output = shelf.filter(input, 100);
        EXPECT_EQ(output.left, ReferenceShelf(44100).filter(input.left, 2500.0f, 4.0f, 0.9f));
        EXPECT_EQ(output.right, ReferenceShelf(44100).filter(input.right, 2500.0f, 4.0f, 0.9f));
    }
    // A mono output is filtered on its one channel.
    Shelf mono(1000.0f, 3.0f, 0.707f, 44100.0, 1);
    const std::vector<float> input = lcgNoise(256, 41u);
    std::copy(input.begin(), input.end(), mono.harness.output(0));
    mono.harness.render(0, 256, nullptr, nullptr);
    EXPECT_EQ(std::vector(mono.harness.output(0), mono.harness.output(0) + 256),
              ReferenceShelf(44100).filter(input, 1000.0f, 3.0f, 0.707f));
}

TEST(HighShelfKernel, ARampReachesTheModulesFrameByFrame) {
    Shelf shelf(1000.0f, 1.0f, 0.707f);
    ReferenceShelf left(44100), right(44100);
    const Stereo warmUp{lcgNoise(100, 11u), lcgNoise(100, 12u)};
    shelf.filter(warmUp);
    left.filter(warmUp.left, 1000.0f, 1.0f, 0.707f);
    right.filter(warmUp.right, 1000.0f, 1.0f, 0.707f);
    // A deferred set of the gain: a ramp over the kernel's 881 frames, read back at once as its target.
    shelf.dsp.setParameter(Dsp::gainAddress, 10.0f, false);
    EXPECT_EQ(shelf.dsp.getParameter(Dsp::gainAddress), 10.0f);
    const Stereo input{lcgNoise(1200, 13u), lcgNoise(1200, 14u)};
    const Stereo output = shelf.filter(input, 128, 100);
    for (std::uint32_t k = 0; k < 1200; ++k) {
        const float gain = rampValue(1.0f, 10.0f, 881, k);
        ASSERT_EQ(output.left[k], left.step(input.left[k], 1000.0f, gain, 0.707f)) << k;
        ASSERT_EQ(output.right[k], right.step(input.right[k], 1000.0f, gain, 0.707f)) << k;
    }
}

TEST(HighShelfKernel, SampleRatesReachTheModulesInWholeHertz) {
    for (auto [rate, moduleRate] : {std::pair{48000.0, 48000}, std::pair{44100.9, 44100}}) {
        Shelf shelf(6000.0f, 3.0f, 0.707f, rate);
        const Stereo input{lcgNoise(500, 5u), lcgNoise(500, 6u)};
        EXPECT_EQ(shelf.filter(input).left,
                  ReferenceShelf(moduleRate).filter(input.left, 6000.0f, 3.0f, 0.707f))
            << rate;
    }
}

TEST(HighShelfKernel, ResetClearsHistoryOnlyWhileInitializedAndNotesChangeNothing) {
    Dsp uninitialized;
    uninitialized.reset(); // before init: nothing to reset
    Shelf shelf(1000.0f, 5.0f, 0.707f);
    const Stereo input{lcgNoise(400, 21u), lcgNoise(400, 22u)};
    const Stereo fresh = shelf.filter(input);
    shelf.filter(Stereo{lcgNoise(300, 23u), lcgNoise(300, 24u)});
    // The parameters stay, the history is gone: the same input gives the same output again.
    shelf.dsp.reset();
    EXPECT_EQ(shelf.dsp.getParameter(Dsp::gainAddress), 5.0f);
    EXPECT_EQ(shelf.filter(input).left, fresh.left);

    // Note-ons, even with velocity 0, and note-offs leave every sample as it was.
    shelf.dsp.reset();
    EventList notes;
    notes.midi(5, {0x90, 64, 127}).midi(9, {0x90, 64, 0}).midi(12, {0x80, 64, 0});
    std::copy(input.left.begin(), input.left.end(), shelf.harness.output(0));
    std::copy(input.right.begin(), input.right.end(), shelf.harness.output(1));
    shelf.harness.render(0, 400, notes.head(), nullptr);
    EXPECT_EQ(std::vector(shelf.harness.output(0), shelf.harness.output(0) + 400), fresh.left);
    EXPECT_EQ(std::vector(shelf.harness.output(1), shelf.harness.output(1) + 400), fresh.right);

    // A render of no frames leaves the output untouched.
    std::fill_n(shelf.harness.output(0), 8, 3.0f);
    shelf.harness.render(400, 0, nullptr, nullptr);
    EXPECT_EQ(shelf.harness.output(0)[0], 3.0f);

    shelf.dsp.deinit();
    shelf.dsp.reset(); // after deinit: nothing to reset
    shelf.dsp.init(2, 44100.0);
    EXPECT_EQ(shelf.filter(input).left, fresh.left);
}

TEST(HighShelfKernel, InitResetAndDeinitReleaseWhatTheyMade) {
    Dsp dsp;
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
}
