#include "GeneratorKernelRig.h"

#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Spectrum.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/Wait.h"

#include "Sigpro/kernels/GeneratorKernels.h"
#include "Sigpro/kernels/KernelLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <typeinfo>

using namespace generatortest;

TEST(GeneratorKernels, EveryCodeMakesItsClassAndFillsEveryChannelWithoutAllocatingOrNonFiniteSamples) {
    for (const GeneratorRow& row : generatorRows()) {
        SCOPED_TRACE(row.code);
        auto dsp = readyGenerator(row.code, {}, {}, 4);
        // The mangled name of sigpro::<node class>DSP.
        const std::string kernelClass = std::string(row.nodeClass) + "DSP";
        EXPECT_EQ(typeid(*dsp).name(), "N6sigpro" + std::to_string(kernelClass.size()) + kernelClass + "E");
        EXPECT_EQ(rozezeru::rzInputBusCount(dsp.get()), row.inputBusses);
        for (std::size_t address = 0; address < row.parameters.size(); ++address)
            EXPECT_EQ(rozezeru::rzGetParameterAddress(std::string(row.nodeClass) + "Parameter" +
                                                      row.parameters[address].name),
                      address);

        // A second in four channels after a note-on, a render of no frames after each cycle: the same in
        // every channel, nothing allocated, and what two channels in cycles of 2048 give.
        KernelHarness harness(*dsp, 4);
        EventList note;
        note.midi(0, {0x90, 64, 127});
        std::vector<float> out;
        out.reserve(44100);
        bool same = true;
        testsupport::AllocationTrap::resetCounts();
        {
            testsupport::ScopedRenderThread rendering;
            for (std::int64_t time = 0; time < 44100; time += 441) {
                harness.render(time, 441, time == 0 ? note.head() : nullptr);
                out.insert(out.end(), harness.output(0), harness.output(0) + 441);
                same = same && std::equal(harness.output(0), harness.output(0) + 441, harness.output(1)) &&
                       std::equal(harness.output(0), harness.output(0) + 441, harness.output(3));
                harness.render(time + 441, 0);
            }
        }
        EXPECT_TRUE(same);
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
        EXPECT_GT(testsupport::peak(out), 0.001f);
        EXPECT_EQ(out, renderFreshGenerator(row.code, {}, 44100, 2048, noteOnAtStart));

        // Every parameter at the bottom of its range, then every one at the top: finite samples.
        for (float Setting::*end : {&Setting::minimum, &Setting::maximum}) {
            std::vector<float> values(row.parameters.size());
            std::transform(row.parameters.begin(), row.parameters.end(), values.begin(),
                           [&](auto& p) { return p.*end; });
            EXPECT_TRUE(
                sigprotest::allFinite(renderFreshGenerator(row.code, values, 11025, 512, noteOnAtStart)));
        }
    }
}

TEST(GeneratorKernels, OscillatorsPlayAtTheirDetunedFrequencyAndAmplitudeAndNoiseAtItsLevel) {
    // Code, parameter values, frequency and amplitude of the tone (0: not measured).
    for (const auto& [code, values, hz, amplitude] :
         std::vector<std::tuple<const char*, std::vector<float>, double, double>>{
             {"oscl", {500, 0.5f, 100, 2}, 1100, 0.5},
             {"csto", {250, 0.8f, 50, 2}, 550, 0.8},
             {"morf", {250, 0.5f, 1, 50, 2}, 550, 0.5},
             {"pdho", {300, 0.5f, 0, 100, 2}, 700, 0.5},
             {"pwmo", {400, 1, 0.5f, 60, 1.1f}, 500, 0},
             {"fosc", {300, 2, 1, 0, 0.7f}, 600, 0.7},
             {"fosc", {300, 3, 1, 0.5f, 0.7f}, 900, 0}}) {
        SCOPED_TRACE(std::string(code) + " at " + std::to_string(hz));
        std::vector<float> tone = renderFreshGenerator(code, values, 16384);
        tone.erase(tone.begin(), tone.begin() + 2048); // past the first table's fade-in
        EXPECT_NEAR(testsupport::spectralPeakFrequency(tone, tone.size() - 4096, 44100.0), hz, hz * 0.005);
        EXPECT_NEAR(amplitude > 0 ? testsupport::toneAmplitude(tone, 44100.0, hz) : 0.0, amplitude, 0.01);
    }
    // At Amplitude 0.5: white noise uniform in [-0.5, 0.5), pink within ±0.5, Brownian within ±0.25.
    for (auto [code, limit, rms] :
         {std::tuple{"wnoz", 0.5f, 0.5 / std::sqrt(3.0)}, {"pink", 0.5000153f, 0.0}, {"bron", 0.25f, 0.0}}) {
        const std::vector<float> noise = renderFreshGenerator(code, {0.5f}, 44100);
        EXPECT_LE(testsupport::peak(noise), limit) << code;
        EXPECT_GT(testsupport::peak(noise), 0.5f * limit) << code;
        EXPECT_NEAR(rms > 0 ? testsupport::rms(noise) : 0.0, rms, 0.005) << code;
    }
}

TEST(GeneratorKernels, AStringIsPluckedOncePerNoteOnAndABarStruckFromRestByEveryMessage) {
    // A note-off does not pluck; a later note-on, even of velocity 0, plucks again.
    const std::vector<Message> notes{{100, 0x90, 60, 100}, {2000, 0x80, 60, 0}, {3000, 0x90, 62, 0}};
    std::vector<std::vector<float>> plucked;
    for (std::uint32_t cycle : {128u, 512u, 4096u}) {
        plucked.push_back(renderFreshGenerator("pluk", {220, 0.8f}, 6000, cycle,
                                               cycle == 512 ? notes : std::vector{notes[0]}));
    }
    EXPECT_EQ(testsupport::peak(plucked[1], 0, 100), 0.0f);
    EXPECT_GT(testsupport::peak(plucked[1], 100, 200), 0.1f);
    // The same string whatever the cycles, until the second note-on plucks it again.
    EXPECT_EQ(plucked[0], plucked[2]);
    EXPECT_TRUE(std::equal(plucked[0].begin(), plucked[0].begin() + 3000, plucked[1].begin()));
    EXPECT_FALSE(std::equal(plucked[0].begin() + 3000, plucked[0].end(), plucked[1].begin() + 3000));

    // A note-on, a note-off and a controller each strike the bar alike, with its 0.1 s decay.
    const std::vector<float> out =
        renderFreshGenerator("mbar", {1, 1, 0.1f, 0.25f, 0.2f, 500, 0.05f}, 43000, 512,
                             {{1000, 0x90, 64, 127}, {15000, 0x80, 64, 0}, {29000, 0xB0, 1, 64}});
    EXPECT_EQ(testsupport::peak(out, 0, 1000), 0.0f) << "silent until struck";
    const std::vector<float> first(out.begin() + 1000, out.begin() + 15000);
    EXPECT_GT(testsupport::peak(first), 0.01f);
    EXPECT_LT(testsupport::peak(first, 13000), 1e-5f * testsupport::peak(first));
    for (long strike : {15000, 29000})
        EXPECT_EQ(std::vector<float>(out.begin() + strike, out.begin() + strike + 14000), first) << strike;
}

TEST(GeneratorKernels, TheVocalTractSetsItsInputsAfterInitAndEmptyOrUnknownTablesAreRefused) {
    auto dsp = readyGenerator("vocw");
    const sigpro::sp_vocwrapper* voice = dynamic_cast<sigpro::VocalTractDSP&>(*dsp).module();
    ASSERT_NE(voice, nullptr);
    EXPECT_EQ(
        (std::vector{voice->frequency, voice->position, voice->diameter, voice->tenseness, voice->nasality}),
        (std::vector{160.0f, 0.5f, 1.0f, 0.6f, 0.0f}));

    // A fifth morphing table and an empty one are refused with a record each; the last table still plays.
    testsupport::ToolkitLogCapture log;
    const float two = 2.0f;
    auto morph = readyGenerator("morf", {100, 1, 3, 0, 1}, {{{0}, {1}, {2}, {3}}});
    rozezeru::rzSetWavetable(morph.get(), &two, 1, 4);
    rozezeru::rzSetWavetable(morph.get(), nullptr, 0, 3);
    // The kernels are not registered with the toolkit here: their reports go to the platform's log.
    ASSERT_EQ(log.sink.records().size(), 2u);
    EXPECT_EQ(log.sink.records()[1].text, "setWavetable(_:length:index:): A wavetable of no points is "
                                          "refused; the kernel keeps the one it has");
    EXPECT_EQ(log.sink.records()[0].level, platform::LogType::error);
    KernelHarness harness(*morph);
    EXPECT_EQ(renderGenerator(harness, 64), std::vector(64, 3.0f));
}

namespace {

// What a handler set from above receives, as the toolkit's handler would see it.
std::vector<std::string> kernelReportsHandled;

} // namespace

TEST(KernelReports, GoToThePlatformsLogUntilAHandlerSetFromAboveTakesThem) {
    // No handler is registered in this program: the fallback writes to the platform's log.
    testsupport::ToolkitLogCapture log;
    kernelReportsHandled.clear();
    sigpro::kernelLog("setWavetable(_:length:index:)", "written");
    // The toolkit sets its handler (which applies its logging switch) when it registers the kernels.
    sigpro::setKernelLogHandler(
        [](std::string_view function, std::string_view text, const std::source_location&) {
            kernelReportsHandled.push_back(std::string(function) + " " + std::string(text));
        });
    sigpro::kernelLog("setWavetable(_:length:index:)", "handled");
    sigpro::setKernelLogHandler(nullptr);
    sigpro::kernelLog("setWavetable(_:length:index:)", "written again");
    ASSERT_EQ(log.sink.records().size(), 2u);
    EXPECT_EQ(log.sink.records()[0].text, "setWavetable(_:length:index:): written");
    EXPECT_EQ(log.sink.records()[1].text, "setWavetable(_:length:index:): written again");
    EXPECT_EQ(kernelReportsHandled, std::vector<std::string>{"setWavetable(_:length:index:) handled"});
}

TEST(GeneratorKernels, TablesSwappedWhileTheDynamicOscillatorRendersAreNeverFreedUnderIt) {
    // Tables of varying size and level swapped from another thread while the kernel renders: it plays only
    // levels they hold, or blends of them.
    auto dsp = readyGenerator("csto", {100, 1, 0, 1}, {{std::vector(64, 0.25f)}});
    KernelHarness harness(*dsp);
    renderGenerator(harness, 1024);
    std::atomic<bool> swapping{true}, rendered{false};
    std::thread configuring([&] {
        testsupport::waitUntil([&] { return rendered.load(); });
        for (std::size_t swap = 0; swap < 2000; ++swap) {
            const std::vector<float> table(16 + swap % 7 * 40, swap % 2 ? 0.75f : 0.25f);
            rozezeru::rzSetWavetable(dsp.get(), table.data(), table.size(), 0);
        }
        swapping = false;
    });
    bool inRange = true;
    testsupport::AllocationTrap::resetCounts();
    {
        testsupport::ScopedRenderThread rendering;
        for (std::int64_t cycle = 0; swapping || cycle < 100; ++cycle) {
            harness.render(1024 + cycle * 64, 64);
            rendered = true;
            inRange = inRange && *std::min_element(harness.output(0), harness.output(0) + 64) >= 0.25f &&
                      *std::max_element(harness.output(0), harness.output(0) + 64) <= 0.75f;
        }
    }
    configuring.join();
    EXPECT_TRUE(inRange);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
}
