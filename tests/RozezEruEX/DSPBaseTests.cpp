#include "tests/support/KernelHarness.h"
#include "tests/support/ProbeKernels.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

using namespace testsupport;
using rozezeru::FrameRange;

TEST(DSPBase, DeferredSetRampsOverTwoHundredthsOfASecondInTruncatedFrames) {
    for (const auto& c : {std::pair{44100.0, 881u}, {48000.0, 959u}, {96000.0, 1919u}}) {
        SCOPED_TRACE(c.first);
        ProbeGenerator dsp;
        KernelHarness harness(dsp);
        dsp.setParameter(0, 1.0f, false); // not initialized: a jump
        dsp.init(2, c.first);
        EXPECT_EQ(dsp.rampDurationSamples(), c.second);
        dsp.setParameter(0, 3.0f, false);
        EXPECT_EQ(dsp.getParameter(0), 3.0f);

        // Cycles of 300 frames: the ramp carries on across them.
        const std::vector<float> rendered = harness.renderCycles(0, c.second + 50, 300);
        EXPECT_EQ(rendered, kernelRamp(1.0f, 3.0f, c.second, c.second + 50));
    }
}

TEST(DSPBase, GetParameterAnswersTheTargetAndTwoSetsBeforeARenderMakeOneRamp) {
    ProbeGenerator dsp;
    KernelHarness harness(dsp);
    dsp.init(2, 44100.0);
    dsp.setParameter(0, 1.0f, true); // immediate: a jump even while initialized
    EXPECT_EQ(harness.renderCycles(0, 4, 4), std::vector<float>(4, 1.0f));

    dsp.setParameter(0, 2.0f, false);
    dsp.setParameter(0, 5.0f, false);
    EXPECT_EQ(dsp.getParameter(0), 5.0f);
    EXPECT_EQ(dsp.ramper(0).changeCounter.load(), 2u);
    EXPECT_EQ(harness.renderCycles(4, 900, 512), kernelRamp(1.0f, 5.0f, 881, 900));

    // A set made while a ramp runs ramps on from the value reached.
    dsp.setParameter(0, 1.0f, false);
    EXPECT_EQ(harness.renderCycles(904, 1, 1)[0], 5.0f);
}

TEST(DSPBase, SetsBeforeInitJumpAndUnknownAddressesAreIgnored) {
    ProbeGenerator dsp;
    dsp.setParameter(1, 4.0f, false);
    EXPECT_EQ(dsp.ramper(1).samplesRemaining, 0u);

    KernelHarness harness(dsp);
    dsp.init(2, 44100.0);
    EXPECT_EQ(harness.renderCycles(0, 3, 3, 1), std::vector<float>(3, 4.0f));

    dsp.setParameter(128, 9.0f, false);
    dsp.setParameter(2, 9.0f, false); // no ramper there
    EXPECT_EQ(
        (std::vector{dsp.getParameter(128), dsp.getParameter(2), dsp.getParameter(0), dsp.getParameter(1)}),
        (std::vector{0.0f, 0.0f, 0.0f, 4.0f}));

    // After deinit sets jump again.
    dsp.deinit();
    dsp.setParameter(0, 7.0f, false);
    EXPECT_EQ(dsp.ramper(0).endValue, 7.0f);
}

TEST(DSPBase, RenderEventsSplitTheCycleAtTheirSampleTimes) {
    ProbeGenerator dsp;
    KernelHarness harness(dsp);
    dsp.init(2, 44100.0);
    EventList events;
    events
        .parameter(990, 1, 0.5f)  // before the cycle: applies before frame 0
        .parameter(1010, 0, 2.0f) // two events at one time: both before frame 10, in order
        .parameter(1010, 1, 3.0f)
        .ramp(1020, 0, 6.0f, 4) // a ramp of 4 frames from 2 to 6
        .midi(1030, {0x90, 60, 100})
        .ramp(1040, 1, 8.0f, 0); // a ramp event of 0 frames jumps
    ASSERT_EQ(harness.render(1000, 64, events.head()), RenderStatus::success);

    EXPECT_EQ(dsp.rangeText(), "0+10 10+10 20+10 30+10 40+24 ");
    // The last event's time: the segment after it needs no split.
    EXPECT_EQ(dsp.currentSampleTime(), 1040);

    const float* left = harness.output(0);
    const float* right = harness.output(1);
    EXPECT_EQ((std::vector<float>(left + 8, left + 26)),
              (std::vector<float>{0, 0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 3, 4, 5, 6, 6}));
    EXPECT_EQ((std::vector<float>{right[0], right[9], right[10], right[39], right[40], right[63]}),
              (std::vector<float>{0.5f, 0.5f, 3, 3, 8, 8}));
    EXPECT_EQ(dsp.noteText(), "on 60 100 ");
    EXPECT_EQ(std::pair(dsp.getParameter(0), dsp.getParameter(1)), std::pair(6.0f, 8.0f))
        << "events set targets";
}

TEST(DSPBase, EventsOutsideTheCycleAreClampedIntoItAndZeroFrameRendersHandleNone) {
    ProbeGenerator dsp;
    KernelHarness harness(dsp);
    dsp.init(2, 44100.0);

    // Stamped past the end: the whole cycle renders first, no frame beyond it, and the event is not lost.
    EventList late;
    late.parameter(200, 0, 1.0f).midi(5000, {0x90, 61, 1});
    std::fill_n(harness.output(0), 64, -9.0f);
    harness.render(100, 32, late.head());
    EXPECT_EQ(dsp.rangeText(), "0+32 ");
    EXPECT_EQ(std::pair(harness.output(0)[31], harness.output(0)[32]), std::pair(0.0f, -9.0f));
    EXPECT_EQ(std::pair(dsp.getParameter(0), dsp.noteCount), std::pair(1.0f, std::size_t(1)));
    EXPECT_EQ(harness.renderCycles(132, 2, 2), std::vector<float>(2, 1.0f));

    // A render of no frames processes nothing and leaves its events alone.
    EventList ignored;
    ignored.parameter(0, 0, 4.0f).midi(0, {0x90, 62, 1});
    const std::size_t ranges = dsp.rangeCount;
    harness.render(0, 0, ignored.head());
    EXPECT_EQ(std::tuple(dsp.rangeCount, dsp.getParameter(0), dsp.noteCount),
              std::tuple(ranges, 1.0f, std::size_t(1)));
}

TEST(DSPBase, NoteOnAndNoteOffReachStartNoteAndStopNote) {
    ProbeGenerator dsp;
    KernelHarness harness(dsp);
    dsp.init(2, 44100.0);
    EventList events;
    events
        .midi(0, {0x90, 60, 100}) // note-on
        .midi(0, {0x9F, 60, 0})   // note-on with velocity 0 on channel 16: a note-off
        .midi(0, {0x80, 61, 64})  // note-off passes its velocity
        .midi(0, {0x83, 62, 200}) // ... unchecked
        .midi(0, {0x80, 128, 0})  // note number out of range
        .midi(0, {0x90, 128, 10})
        .midi(0, {0x90, 10, 128}) // velocity out of range
        .midi(0, {0x90, 60})      // two bytes
        .midi(0, {0xB0, 7, 100}); // a controller
    harness.render(0, 16, events.head());
    EXPECT_EQ(dsp.noteText(), "on 60 100 off 60 0 off 61 64 off 62 200 ");
}

TEST(DSPBase, InputsArePulledIntoTheOutputOrIntoEachBussBuffers) {
    ConstantBusInput input({{0.25f, -0.5f}, {0.125f, 0.75f}});

    ProbeInPlace inPlace;
    KernelHarness inPlaceHarness(inPlace);
    inPlace.init(2, 44100.0);
    inPlace.setParameter(0, 1.0f, false);
    inPlaceHarness.render(0, 8, nullptr, &input);
    EXPECT_EQ(inPlace.input(0), &inPlaceHarness.outputList());
    // The input plus the ramp's first value, 0.
    EXPECT_EQ(std::pair(inPlaceHarness.output(0)[0], inPlaceHarness.output(1)[7]), std::pair(0.25f, -0.5f));

    ProbeTwoInputs twoInputs;
    KernelHarness twoHarness(twoInputs);
    twoInputs.init(2, 44100.0);
    twoHarness.render(0, 8, nullptr, &input);
    EXPECT_EQ(twoInputs.input(0), twoHarness.inputList(0));
    EXPECT_EQ(twoInputs.input(1), twoHarness.inputList(1));
    EXPECT_EQ(std::tuple(twoHarness.inputBuffer(1).channel(1)[7],
                         twoHarness.inputList(0)->buffers[0].dataByteSize, twoHarness.output(0)[3],
                         input.pulls),
              std::tuple(0.75f, std::uint32_t(8 * sizeof(float)), 0.25f, 3));

    // A bus without buffers is not pulled and reads as silence; without a pull input nothing is pulled.
    ProbeEffect bare;
    bare.init(2, 44100.0);
    auto output = PcmBuffer::make(stereoFormat(), 8);
    platform::AudioBufferList outputList = output->bufferList(8);
    const int pulls = input.pulls;
    ASSERT_EQ(rozezeru::internalRenderBlock(&bare)(AudioTime::withSampleTime(0, 44100.0), 8, 0, outputList,
                                                   nullptr, &input),
              RenderStatus::success);
    EXPECT_EQ(std::tuple(bare.input(0), input.pulls, output->channel(0)[0]),
              std::tuple(static_cast<const platform::AudioBufferList*>(nullptr), pulls, 0.0f));

    ProbeEffect unpulled;
    KernelHarness unpulledHarness(unpulled);
    unpulled.init(2, 44100.0);
    std::fill_n(unpulledHarness.inputBuffer(0).channel(0), 8, 0.375f);
    unpulledHarness.render(0, 8, nullptr, nullptr);
    EXPECT_EQ(unpulledHarness.output(0)[5], 0.375f);
}

TEST(DSPBase, BypassPassesInputBusZeroOrSilenceWhileRampsAndEventsGoOn) {
    ConstantBusInput input({{0.25f, -0.5f}, {0.125f, 0.75f}});

    ProbeEffect effect;
    KernelHarness harness(effect);
    effect.init(2, 44100.0);
    rozezeru::rzSetBypass(&effect, true);
    effect.setParameter(0, 1.0f, false);
    EventList events;
    events.parameter(50, 1, 2.0f);
    harness.render(0, 100, events.head(), &input);
    EXPECT_EQ(effect.rangeCount, 0u);
    EXPECT_EQ(std::pair(harness.channel(0, 100), harness.channel(1, 100)),
              std::pair(std::vector<float>(100, 0.25f), std::vector<float>(100, -0.5f)));
    // The ramp ran on by the 100 bypassed frames; the event was handled all the same.
    EXPECT_EQ(std::pair(effect.ramper(0).samplesRemaining, effect.getParameter(1)), std::pair(781u, 2.0f));
    rozezeru::rzSetBypass(&effect, false);
    harness.render(100, 1, nullptr, &input);
    EXPECT_EQ(std::pair(harness.output(0)[0], harness.output(1)[0]),
              std::pair(0.25f + kernelRamp(0.0f, 1.0f, 881, 101)[100], -0.5f + 2.0f));

    ProbeGenerator generator;
    KernelHarness generatorHarness(generator);
    generator.init(2, 44100.0);
    generator.setParameter(0, 1.0f, true);
    rozezeru::rzSetBypass(&generator, true);
    std::fill_n(generatorHarness.output(1), 16, 7.0f);
    generatorHarness.render(0, 16);
    EXPECT_EQ(std::pair(generatorHarness.channel(0, 16), generatorHarness.channel(1, 16)),
              std::pair(std::vector<float>(16), std::vector<float>(16)));

    // In place the input already lies in the output; with two inputs it cannot, so bus 0 is copied.
    ProbeInPlace inPlace;
    KernelHarness inPlaceHarness(inPlace);
    inPlace.init(2, 44100.0);
    inPlace.setParameter(0, 1.0f, true);
    rozezeru::rzSetBypass(&inPlace, true);
    inPlaceHarness.render(0, 16, nullptr, &input);
    EXPECT_EQ(inPlaceHarness.output(0)[15], 0.25f);

    ProbeTwoInputsInPlace twoInPlace;
    KernelHarness twoHarness(twoInPlace);
    twoInPlace.init(2, 44100.0);
    rozezeru::rzSetBypass(&twoInPlace, true);
    std::fill_n(twoHarness.output(1), 16, 7.0f);
    twoHarness.render(0, 16, nullptr, &input);
    EXPECT_EQ(std::pair(twoHarness.output(0)[15], twoHarness.output(1)[0]), std::pair(0.25f, -0.5f));
}

TEST(DSPBase, CloneFirstChannelCopiesChannelZeroOnlyForSeveralChannels) {
    ProbeGenerator dsp;
    auto buffer = PcmBuffer::make(stereoFormat(), 8);
    platform::AudioBufferList list = buffer->bufferList(8);
    dsp.setOutput(&list);
    std::fill_n(buffer->channel(0), 8, 1.0f);
    dsp.init(1, 44100.0);
    dsp.cloneFirst(FrameRange{2, 4});
    EXPECT_EQ(buffer->channel(1)[3], 0.0f);
    dsp.init(2, 44100.0);
    dsp.cloneFirst(FrameRange{2, 4});
    EXPECT_EQ((std::vector<float>(buffer->channel(1), buffer->channel(1) + 8)),
              (std::vector<float>{0, 0, 1, 1, 1, 1, 0, 0}));
}
