#include "SigproNodeRig.h"

#include "RozezEru/Internals/FourCC.h"
#include "RozezEru/Internals/Table.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEruEX/DSPInterface.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/GeneratorKernels.h"
#include "SigproRozezEru/Generators/BrownianNoise.h"
#include "SigproRozezEru/Generators/DynamicOscillator.h"
#include "SigproRozezEru/Generators/FMOscillator.h"
#include "SigproRozezEru/Generators/MetalBar.h"
#include "SigproRozezEru/Generators/MorphingOscillator.h"
#include "SigproRozezEru/Generators/Oscillator.h"
#include "SigproRozezEru/Generators/PWMOscillator.h"
#include "SigproRozezEru/Generators/PhaseDistortionOscillator.h"
#include "SigproRozezEru/Generators/PhaseLockedVocoder.h"
#include "SigproRozezEru/Generators/PinkNoise.h"
#include "SigproRozezEru/Generators/PluckedString.h"
#include "SigproRozezEru/Generators/VocalTract.h"
#include "SigproRozezEru/Generators/WhiteNoise.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/files/AudioFile.h"
#include "tests/support/RenderCycleTrap.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace rozezeru;

namespace generatornodetest {

using testsupport::Channels;
using Unit = platform::AudioUnitParameterUnit;
using Tables = MorphingOscillator::Tables;
constexpr Unit generic = Unit::generic, hertz = Unit::hertz;

struct Definition {
    const char *identifier, *name;
    float defaultValue, lower, upper;
    Unit unit;
};

struct GeneratorClass {
    const char *className, *subtype;
    std::function<std::shared_ptr<GeneratorNode>()> make;
    std::vector<float> values;
    bool startsStarted;
    std::vector<Definition> definitions;
};

// One cycle of a sine of `level`.
std::shared_ptr<const Table> sineTable(float level = 1.0f, std::size_t size = 4096) {
    return std::make_shared<const Table>(testsupport::sine(size, 1.0, double(size), level));
}

// Mono, 32-bit float WAV, whose samples come back exactly.
std::unique_ptr<platform::AudioFile> audioFile(const testsupport::TemporaryFolder& folder, const char* name,
                                               const Channels& channels, int rate = 44100) {
    EXPECT_TRUE(
        testsupport::writeWithSndfile(folder.file(name), SF_FORMAT_WAV | SF_FORMAT_FLOAT, channels, rate));
    return std::move(platform::AudioFile::openForReading(folder.file(name)).value());
}

std::vector<float> join(std::vector<float> a, const std::vector<float>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The largest step from one sample to the next: a sine of amplitude 1 at 440 Hz steps by 0.063 at most.
float largestStep(const std::vector<float>& samples) {
    float step = 0.0f;
    for (std::size_t n = 1; n < samples.size(); ++n)
        step = std::max(step, std::abs(samples[n] - samples[n - 1]));
    return step;
}

// Every generator class with its definitions as the library's documentation gives them, made with values
// that show what reaches the kernel, and what it then plays.
std::vector<GeneratorClass> generatorClasses(const platform::AudioFile& tone) {
    // clang-format off
    const Definition amplitude1{"amplitude", "Amplitude", 1, 0, 1, generic};
    const Definition frequency{"frequency", "Frequency", 440, 0, 20000, hertz};
    const Definition amplitude10{"amplitude", "Amplitude", 1, 0, 10, generic};
    const Definition offset{"detuningOffset", "Frequency offset", 0, -1000, 1000, hertz};
    const Definition multiplier{"detuningMultiplier", "Frequency detuning multiplier", 1, 0.9f, 1.11f,
                                generic};
    const std::vector<GeneratorClass> classes{
        {"BrownianNoise", "bron", [] { return std::make_shared<BrownianNoise>(1.0f); }, {1}, false,
         {amplitude1}},
        {"PinkNoise", "pink", [] { return std::make_shared<PinkNoise>(1.0f); }, {1}, false, {amplitude1}},
        {"WhiteNoise", "wnoz", [] { return std::make_shared<WhiteNoise>(0.5f); }, {0.5f}, false,
         {amplitude1}},
        {"Oscillator", "oscl", [] { return std::make_shared<Oscillator>(sineTable(), 500, 0.5f, 100, 1.1f); },
         {500, 0.5f, 100, 1.1f}, false, {frequency, amplitude10, offset, multiplier}},
        {"FMOscillator", "fosc",
         [] { return std::make_shared<FMOscillator>(sineTable(), 220, 2, 1, 0, 0.8f); },
         {220, 2, 1, 0, 0.8f}, false,
         {{"baseFrequency", "Base Frequency", 440, 0, 20000, hertz},
          {"carrierMultiplier", "Carrier Multiplier", 1, 0, 1000, generic},
          {"modulatingMultiplier", "Modulating Multiplier", 1, 0, 1000, generic},
          {"modulationIndex", "Modulation Index", 1, 0, 1000, generic}, amplitude10}},
        {"PhaseDistortionOscillator", "pdho",
         [] { return std::make_shared<PhaseDistortionOscillator>(sineTable(), 300, 0.5f, 0, 100, 2); },
         {300, 0.5f, 0, 100, 1.11f}, false,
         {frequency, amplitude10, {"phaseDistortion", "Phase distortion", 0, -1, 1, generic}, offset,
          {"detuningMultiplier", "Detuning multiplier", 1, 0.9f, 1.11f, generic}}},
        {"PWMOscillator", "pwmo", [] { return std::make_shared<PWMOscillator>(400, 1, 0.5f, 60, 1.1f); },
         {400, 1, 0.5f, 60, 1.1f}, false,
         {frequency, amplitude10, {"pulseWidth", "Pulse Width", 0.5f, 0, 1, generic}, offset, multiplier}},
        {"MorphingOscillator", "morf", [] { return std::make_shared<MorphingOscillator>(
             MorphingOscillator::defaultWaveformArray(), 250, 0.5f, 0, 50, 2); },
         {250, 0.5f, 0, 50, 1.11f}, false,
         {{"frequency", "Frequency", 440, 0, 22050, hertz}, {"amplitude", "Amplitude", 0.5f, 0, 1, hertz},
          {"index", "Index", 0, 0, 3, hertz}, {"detuningOffset", "Detuning offset", 0, -1000, 1000, hertz},
          {"detuningMultiplier", "Detuning multiplier", 1, 0.9f, 1.11f, generic}}},
        {"DynamicOscillator", "csto",
         [] { return std::make_shared<DynamicOscillator>(sineTable(), 250, 0.8f, 50, 0.5f); },
         {250, 0.8f, 50, 0.9f}, false, {frequency, amplitude10, offset, multiplier}},
        {"MetalBar", "mbar", [] { return std::make_shared<MetalBar>(5, 0, 3, 0.25f, 0.2f, 500, 0.05f); },
         {3, 1, 3, 0.25f, 0.2f, 500, 0.05f}, true,
         {{"leftBoundaryCondition", "Boundary condition at left end of bar. 1 = clamped, 2 = pivoting, 3 = "
                                    "free", 1, 1, 3, hertz},
          {"rightBoundaryCondition", "Boundary condition at right end of bar. 1 = clamped, 2 = pivoting, 3 = "
                                     "free", 1, 1, 3, hertz},
          {"decayDuration", "30db decay time (in seconds).", 3, 0, 10, hertz},
          {"scanSpeed", "Speed of scanning the output location.", 0.25f, 0, 100, hertz},
          {"position", "Position along bar that strike occurs.", 0.2f, 0, 1, generic},
          {"strikeVelocity", "Normalized strike velocity", 500, 0, 1000, generic},
          {"strikeWidth", "Spatial width of strike.", 0.05f, 0, 1, generic}}},
        {"PluckedString", "pluk", [] { return std::make_shared<PluckedString>(220, 0.8f); }, {220, 0.8f},
         true,
         {{"frequency", "Variable frequency. Values less than the initial frequency are doubled until "
                        "greater than that.", 110, 0, 22000, hertz},
          {"amplitude", "Amplitude", 0.5f, 0, 1, generic}}},
        {"VocalTract", "vocw", [] { return std::make_shared<VocalTract>(160, 0.5f, 1, 0.6f, 0); },
         {160, 0.5f, 1, 0.6f, 0}, false,
         {{"frequency", "Glottal frequency", 160, 0, 22050, hertz},
          {"tonguePosition", "Tongue position", 0.5f, 0, 1, generic},
          {"tongueDiameter", "Tongue diameter", 1, 0, 1, generic},
          {"tenseness", "Vocal tenseness", 0.6f, 0, 1, generic}, {"nasality", "Nasality", 0, 0, 1, generic}}},
        {"PhaseLockedVocoder", "minc", [&] { return std::make_shared<PhaseLockedVocoder>(tone, 0.5f, 1, 1); },
         {0.5f, 1, 1}, true,
         {{"position", "Position in time. When non-changing it will do a spectral freeze of a the current "
                       "point in time.", 0, 0, 100000, generic},
          {"amplitude", "Amplitude.", 1, 0, 1, generic},
          {"pitchRatio", "Pitch ratio. A value of. 1  normal, 2 is double speed, 0.5 is halfspeed, etc.", 1,
           0, 1000, hertz}}},
    };
    // clang-format on
    return classes;
}

} // namespace generatornodetest

using namespace generatornodetest;

TEST(GeneratorNodeLibrary, EveryClassHasItsDefinitionsStartsAsDocumentedPlaysItsValuesAndClamps) {
    testsupport::TemporaryFolder folder;
    const auto tone = audioFile(folder, "tone.wav", {testsupport::sine(44100, 440.0, 44100.0, 0.5)});
    for (const GeneratorClass& c : generatorClasses(*tone)) {
        SCOPED_TRACE(c.className);
        const std::shared_ptr<GeneratorNode> node = c.make();
        RozezEruAU& unit = rozezEruAU(*node);
        EXPECT_EQ(std::pair(unit.componentDescription().componentType,
                            unit.componentDescription().componentSubType),
                  std::pair(fourCC("aumu"), fourCC(c.subtype)));
        EXPECT_TRUE(node->connections().empty());
        EXPECT_EQ(node->isStarted(), c.startsStarted);
        const auto parameters = node->parameters();
        ASSERT_EQ(parameters.size(), c.definitions.size());
        for (std::size_t address = 0; address < parameters.size(); ++address) {
            const Definition& e = c.definitions[address];
            const NodeParameterDef& def = parameters[address]->def();
            SCOPED_TRACE(e.identifier);
            EXPECT_EQ(std::tuple(def.identifier, def.name, def.address, def.defaultValue,
                                 def.range.lowerBound, def.range.upperBound, def.unit, def.flags),
                      std::tuple(e.identifier, e.name, address, e.defaultValue, e.lower, e.upper, e.unit,
                                 0xC2000000u));
            EXPECT_EQ(unit.parameterTree()->allParameters()[address]->identifier(), e.identifier);
            EXPECT_EQ(rzGetParameterValue(unit.dsp(), address), c.values[address])
                << "written in order, clamped";
        }

        auto engine = offlineToolkitEngine(node);
        node->start();
        // What each plays is the kernels' to check; started, it sounds unless it waits to be struck.
        const bool struck = dynamic_cast<Triggerable*>(node.get()) != nullptr;
        EXPECT_EQ(testsupport::rms(renderToolkit(*engine, 8192)[1], 4096) > 0.02, !struck);
        node->stop();
        EXPECT_EQ(renderToolkit(*engine, 1024), std::vector(2, std::vector<float>(1024, 0.0f)));
    }
}

TEST(MorphingOscillator, TheIndexGlidesBetweenTheTablesAndListsTheKernelCannotReadAreReplaced) {
    auto node = std::make_shared<MorphingOscillator>(
        Tables{sineTable(1.0f), sineTable(0.75f), sineTable(0.5f), sineTable(0.25f)}, 440, 1, 0);
    auto engine = offlineToolkitEngine(node);
    node->start();
    std::vector<float> played = renderToolkit(*engine, 4096)[0];
    for (const auto& [index, amplitude] : {std::pair{3.0f, 0.25}, {1.5f, 0.625}, {0.0f, 1.0}}) {
        node->index.setWrappedValue(index);
        const std::vector<float> morphed = renderToolkit(*engine, 4096)[0];
        EXPECT_NEAR(testsupport::toneAmplitude(morphed, 44100.0, 440.0, 2048), amplitude, 0.01) << index;
        played = join(played, morphed);
    }
    EXPECT_LT(largestStep(played), 0.065f) << "no click";

    testsupport::ToolkitLogCapture capture;
    const auto sine = sineTable();
    const auto fallback = Tables{defaultOscillatorWaveform()};
    for (const auto& [given, kept] : std::vector<std::pair<Tables, Tables>>{
             {{}, fallback},
             {{sine, sineTable(1.0f, 256)}, fallback},
             {{sine, std::make_shared<const Table>(std::vector<float>{})}, fallback},
             {{sine, nullptr}, fallback},
             {{sine, sine, sine, sine, sineTable(0.5f)}, {sine, sine, sine, sine}},
         }) {
        auto refused = std::make_shared<MorphingOscillator>(given, 440, 0.5f, 3);
        EXPECT_EQ(refused->waveformArray(), kept);
        auto refusedEngine = offlineToolkitEngine(refused);
        refused->start();
        EXPECT_NEAR(testsupport::toneAmplitude(renderToolkit(*refusedEngine, 4096)[0], 44100.0, 440.0, 2048),
                    0.5, 0.01);
    }

    // The one-table oscillators play the default sine for a table without samples.
    const auto empty = std::make_shared<const Table>(std::vector<float>{});
    EXPECT_EQ(Oscillator(empty).waveform(), defaultOscillatorWaveform());
    EXPECT_EQ(FMOscillator(nullptr).waveform(), defaultOscillatorWaveform());
    EXPECT_EQ(PhaseDistortionOscillator(empty).waveform(), defaultOscillatorWaveform());
    EXPECT_EQ(DynamicOscillator(nullptr).getWaveformValues(), defaultOscillatorWaveform()->content());
    EXPECT_EQ(capture.sink.records().size(), 9u) << "one error record for each";
}

TEST(DynamicOscillator, ReplacesItsTableWhilePlayingWithoutAClickAndTellsItsHandlerOnce) {
    testsupport::ToolkitLogCapture capture;
    const auto first = sineTable(), second = sineTable(0.25f, 1024);
    auto node = std::make_shared<DynamicOscillator>(first, 440, 1);
    std::vector<std::vector<float>> handed;
    node->setWaveformUpdateHandler([&handed](const std::vector<float>& values) { handed.push_back(values); });
    EXPECT_EQ(std::pair(handed.empty(), node->getWaveformValues()), std::pair(true, first->content()));
    auto engine = offlineToolkitEngine(node);
    node->start();
    const std::vector<float> before = renderToolkit(*engine, 2048)[0];
    node->setWaveform(second);
    node->setWaveform(std::make_shared<const Table>(std::vector<float>{}));
    node->setWaveform(nullptr);
    const std::vector<float> after = renderToolkit(*engine, 4096)[0];
    EXPECT_EQ(handed, std::vector<std::vector<float>>{second->content()});
    EXPECT_EQ(node->waveform(), second);
    EXPECT_EQ(capture.contents("EffectWaveform.cpp", "setWaveform(_:)").size(), 2u);
    EXPECT_LT(largestStep(join(std::vector(before.begin() + 256, before.end()), after)), 0.065f)
        << "no click";
    EXPECT_NEAR(testsupport::toneAmplitude(after, 44100.0, 440.0, 2048), 0.25, 0.01);
}

// Note-ons reach the kernels as any node's MIDI does; the kernel tests own what they play, how it dies
// away and that every strike sounds again.
TEST(PhysicalModels, SoundWhenTriggeredAndAreSilentStopped) {
    for (const bool bar : {true, false}) {
        std::shared_ptr<GeneratorNode> model =
            bar ? std::shared_ptr<GeneratorNode>(std::make_shared<MetalBar>(1, 1, 0.1f))
                : std::make_shared<PluckedString>(440, 0.8f);
        SCOPED_TRACE(model->className());
        auto engine = offlineToolkitEngine(model);
        if (auto* string = dynamic_cast<PluckedString*>(model.get())) {
            string->trigger(880, 2); // writes both, clamped, before it plucks
            EXPECT_EQ(string->amplitude.wrappedValue(), 1.0f);
        } else
            dynamic_cast<Triggerable&>(*model).trigger();
        EXPECT_GT(testsupport::peak(renderToolkit(*engine, 2048)[1]), 0.01f);
        model->stop();
        dynamic_cast<Triggerable&>(*model).trigger();
        EXPECT_EQ(testsupport::peak(renderToolkit(*engine, 4096)[0]), 0.0f);
    }
}

TEST(PhaseLockedVocoder, ReadsFilesWholeAtTheEngineRatePlaysThemAsToldAndKeepsThemWhenAFileCannotBeRead) {
    testsupport::TemporaryFolder folder;
    testsupport::ToolkitLogCapture capture;
    const auto tone = [](double hz, std::size_t frames, double rate = 44100.0) {
        return testsupport::sine(frames, hz, rate, 0.5);
    };
    const auto stereo = audioFile(folder, "stereo.wav", {tone(440, 44100), tone(440, 44100)});
    auto node = std::make_shared<PhaseLockedVocoder>(*stereo, 0.5f);
    auto engine = offlineToolkitEngine(node);
    const auto frequency = [&] {
        return testsupport::zeroCrossingFrequency(renderToolkit(*engine, 8192)[0], 4096, 44100.0);
    };
    const auto samples = [&] {
        return dynamic_cast<sigpro::PhaseLockedVocoderDSP&>(*rozezEruAU(*node).dsp()).module()->ft->size;
    };
    EXPECT_NEAR(frequency(), 440.0, 2.0);
    EXPECT_EQ(samples(), 44100u) << "both channels in one";

    // A second at 22.05 kHz, 440 Hz then 660 Hz, read while the node plays.
    node->loadFile(
        *audioFile(folder, "two.wav", {join(tone(440, 11025, 22050), tone(660, 11025, 22050))}, 22050));
    EXPECT_EQ(samples(), 44100u) << "the whole second, at 44.1 kHz";
    for (const auto& [position, pitchRatio, hz] :
         {std::tuple{0.75f, 1.0f, 660.0}, {0.25f, 1.0f, 440.0}, {0.25f, 2.0f, 880.0}, {0.75f, 0.5f, 330.0}}) {
        node->position.setWrappedValue(position);
        node->pitchRatio.setWrappedValue(pitchRatio);
        EXPECT_NEAR(frequency(), hz, hz * 0.005) << position;
    }

    // 80,000 frames at 200 Hz would be 17,640,000 at 44.1 kHz.
    node->loadFile(*audioFile(folder, "six.wav", Channels(6, tone(660, 4410))));
    node->loadFile(*audioFile(folder, "long.wav", {std::vector<float>(80000, 0.1f)}, 200));
    const auto gone = audioFile(folder, "gone.wav", {tone(660, 4410)});
    std::filesystem::remove(folder.file("gone.wav"));
    node->loadFile(*gone);
    EXPECT_NEAR(frequency(), 330.0, 2.0) << "the samples it had";
    EXPECT_EQ(capture.contents("PhaseLockedVocoder.cpp", "loadFile(_:)"),
              (std::vector<std::string>{"Unsupported Format, channel count is greater than stereo",
                                        "🛑 Error: The file would give 17640000 frames at 44100.0 Hz; the "
                                        "vocoder holds at most 16777216",
                                        "ExtAudioFileOpenURL FAILED, Error = " +
                                            std::to_string(int(platform::AudioFileError::notFound))}));
}

TEST(GeneratorNodeLibrary, EveryGeneratorPlaysIntoOneMixerWithoutAllocatingOnTheRenderThread) {
    testsupport::TemporaryFolder folder;
    const auto tone = audioFile(folder, "tone.wav", {testsupport::sine(44100, 440.0, 44100.0, 0.5)});
    std::vector<std::shared_ptr<Node>> generators;
    for (const GeneratorClass& c : generatorClasses(*tone))
        generators.push_back(c.make());
    auto& morphing = dynamic_cast<MorphingOscillator&>(*generators[7]);
    auto& bar = dynamic_cast<MetalBar&>(*generators[9]);
    auto engine = offlineToolkitEngine(std::make_shared<Mixer>(generators));
    for (const auto& generator : generators)
        generator->start();
    renderToolkit(*engine, 512); // the first plan is built outside the trap
    double energy = 0.0;
    {
        testsupport::RenderCycleTrap trap;
        for (int cycle = 0; cycle < 100; ++cycle) {
            if (cycle % 20 == 0) bar.trigger();
            if (cycle % 25 == 0)
                dynamic_cast<DynamicOscillator&>(*generators[8]).setWaveform(sineTable(0.5f, 512));
            morphing.index.setWrappedValue(float(cycle % 4));
            energy += testsupport::rms(renderToolkit(*engine, 512)[0]);
        }
        trap.expectNothingAllocated(100);
    }
    EXPECT_TRUE(energy > 0.0 && std::isfinite(energy)) << energy;
}
