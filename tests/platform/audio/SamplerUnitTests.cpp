#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/SamplerUnit.h"
#include "platform/foundation/Files.h"

#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"
#include "tests/support/Signals.h"
#include "tests/support/SoundBankBytes.h"
#include "tests/support/Spectrum.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cmath>
#include <tuple>

namespace {

using platform::SamplerInstrument;
using platform::SamplerUnit;
using platform::SamplerZone;
using testsupport::rms;
using testsupport::spectralPeakFrequency;

constexpr double samplerRate = 44100.0;
const std::string generalMIDIBank = "/usr/share/sounds/sf2/TimGM6mb.sf2";

double keyHz(double key) {
    return 440.0 * std::exp2((key - 69.0) / 12.0);
}

SamplerZone sineZone(double hz, int root, double seconds, int minKey = 0, int maxKey = 127,
                     int minVelocity = 1, int maxVelocity = 127) {
    auto sample = std::make_shared<platform::SamplerSample>();
    sample->channels = {testsupport::sine(std::size_t(seconds * samplerRate), hz, samplerRate, 0.5)};
    SamplerZone zone;
    zone.sample = std::move(sample);
    zone.rootKey = root;
    zone.minKey = minKey;
    zone.maxKey = maxKey;
    zone.minVelocity = minVelocity;
    zone.maxVelocity = maxVelocity;
    return zone;
}

testsupport::UnitRig<SamplerUnit> samplerRig() {
    return testsupport::makeUnitRig<SamplerUnit>(
        std::make_shared<platform::AudioUnitNode>(std::make_unique<SamplerUnit>()), testsupport::stereo(),
        512, [](std::int64_t) { return 0.0f; });
}

testsupport::UnitRig<SamplerUnit> samplerRig(SamplerInstrument instrument) {
    auto rig = samplerRig();
    rig.unit->loadInstrument(std::move(instrument));
    return rig;
}

std::vector<float> left(testsupport::UnitRig<SamplerUnit>& rig, double seconds) {
    return rig.render(std::uint32_t(seconds * samplerRate), 512)[0];
}

TEST(SamplerUnitTest, NotesSoundAtTheirPitchAcrossTheKeyboardWithBendAndTuning) {
    SamplerInstrument instrument;
    instrument.zones = {sineZone(keyHz(48), 48, 4.0, 0, 59), sineZone(keyHz(72), 72, 4.0, 60, 127)};
    auto rig = samplerRig(std::move(instrument));
    // Key, pitch bend, global tuning in cents, and the key that should sound.
    for (const auto& [key, bend, tuning, sounding] :
         std::vector<std::tuple<int, std::uint16_t, float, double>>{{30, 8192, 0, 30},
                                                                    {48, 8192, 0, 48},
                                                                    {59, 8192, 0, 59},
                                                                    {60, 8192, 0, 60},
                                                                    {84, 8192, 0, 84},
                                                                    {96, 8192, 0, 96},
                                                                    {60, 16383, 0, 62},
                                                                    {60, 0, 0, 58},
                                                                    {60, 8192, 100, 61},
                                                                    {60, 8192, -50, 59.5}}) {
        rig.unit->sendPitchBend(bend, 0);
        rig.unit->setGlobalTuning(tuning);
        rig.unit->startNote(std::uint8_t(key), 100, 0);
        const double hz = spectralPeakFrequency(left(rig, 0.85), 2048, samplerRate);
        EXPECT_NEAR(hz / keyHz(sounding), 1.0, 0.005)
            << "key " << key << " bend " << bend << " tuning " << tuning;
        rig.unit->sendController(120, 0, 0);
        EXPECT_LT(testsupport::peak(left(rig, 0.02), 64), 1e-6f) << "all sound off";
    }
}

TEST(SamplerUnitTest, VelocityLayersSwitchAtTheZoneBounds) {
    // Both layers are rooted at 60; the loud one holds a sample an octave higher, so the pitch shows which
    // layer sounded.
    SamplerInstrument instrument;
    instrument.zones = {sineZone(keyHz(60), 60, 2.0, 0, 127, 1, 63),
                        sineZone(keyHz(72), 60, 2.0, 0, 127, 64, 127)};
    auto rig = samplerRig(std::move(instrument));
    for (const auto& [velocity, soundingKey] : {std::pair{1, 60}, {63, 60}, {64, 72}, {127, 72}}) {
        rig.unit->startNote(60, std::uint8_t(velocity), 0);
        const auto out = left(rig, 0.5);
        EXPECT_NEAR(spectralPeakFrequency(out, 1024, samplerRate) / keyHz(soundingKey), 1.0, 0.005)
            << "velocity " << velocity;
        rig.unit->sendController(120, 0, 0);
        (void)left(rig, 0.01);
    }
}

TEST(SamplerUnitTest, LoopSustainsWhileHeldAndEveryWayOfLettingGoSilences) {
    // 441 Hz has a period of exactly 100 frames, so the loop joins without a step.
    SamplerZone looped = sineZone(441.0, 69, 0.2);
    looped.loopEnabled = true;
    looped.loopStart = 4400;
    looped.loopEnd = 8800;
    // Whether the zone loops, and what is sent after two seconds of holding key 69 on channel 3.
    using Case = std::tuple<const char*, bool, std::vector<std::array<std::uint8_t, 3>>>;
    const std::vector<Case> cases = {
        {"note off", true, {{0x83, 69, 0}}},
        {"note on at velocity 0", true, {{0x93, 69, 0}}},
        {"all notes off", true, {{0xB3, 123, 0}}},
        {"pedal held, then lifted", true, {{0xB3, 64, 127}, {0x83, 69, 0}, {0xB3, 64, 0}}},
        {"no loop: the sample ends", false, {{0x83, 69, 0}}},
    };
    for (const auto& [name, loop, release] : cases) {
        SamplerZone zone = looped;
        zone.loopEnabled = loop;
        SamplerInstrument instrument;
        instrument.zones = {zone};
        auto rig = samplerRig(std::move(instrument));
        rig.unit->startNote(69, 127, 3);
        const auto held = left(rig, 2.0);
        EXPECT_EQ(rms(held, held.size() - 22050) > 0.1, loop) << name;
        for (std::size_t i = 0; i < release.size(); ++i) {
            EXPECT_TRUE(rig.unit->scheduleMIDIEvent(platform::AUEventSampleTimeImmediate, 0, release[i]));
            const auto after = left(rig, 0.1);
            const bool last = i + 1 == release.size();
            // Before the pedal is lifted the note goes on.
            EXPECT_EQ(rms(after, after.size() - 2205) > 0.1, !last && loop) << name << " " << i;
        }
        EXPECT_EQ(rig.unit->activeVoiceCount(), 0u) << name;
    }
}

TEST(SamplerUnitTest, GainAndPanShapeTheOutput) {
    SamplerInstrument instrument;
    instrument.zones = {sineZone(441.0, 69, 2.0)};
    auto rig = samplerRig(std::move(instrument));
    // A channel's volume starts at 100 of 127, on a square-law curve.
    const double full = 0.5 / std::sqrt(2.0) * std::pow(100.0 / 127.0, 2);
    // Gain in dB, pan, then the rms of each side in units of `full`.
    for (const auto& c : std::vector<std::array<double, 4>>{
             {0, 0, 1, 1}, {-6.0206, 0, 0.5, 0.5}, {0, -100, 1, 0}, {0, 50, 0.5, 1}}) {
        rig.unit->setMasterGain(float(c[0]));
        rig.unit->setStereoPan(float(c[1]));
        rig.unit->startNote(69, 127, 0);
        const auto out = rig.render(8192, 512);
        EXPECT_NEAR(rms(out[0], 4096), c[2] * full, 0.01) << c[0] << " dB, pan " << c[1];
        EXPECT_NEAR(rms(out[1], 4096), c[3] * full, 0.01) << c[0] << " dB, pan " << c[1];
        rig.unit->sendController(120, 0, 0);
    }
}

TEST(SamplerUnitTest, SoundBankProgramsPlayAtPitch) {
    ASSERT_TRUE(platform::fileExists(generalMIDIBank)) << "scripts/install-deps installs timgm6mb-soundfont";
    auto rig = samplerRig();
    ASSERT_TRUE(rig.unit->loadSoundBank({generalMIDIBank, 0, 121, 0}));
    // Program 0 (a piano) and, after a program change, 80 (a square lead): same pitch, other timbre.
    double secondHarmonicDB[2];
    for (int program = 0; program < 2; ++program) {
        if (program == 1) rig.unit->sendProgramChange(80, 0);
        rig.unit->startNote(57, 110, 0);
        const auto out = left(rig, 0.5);
        EXPECT_NEAR(spectralPeakFrequency(out, 2048, samplerRate) / keyHz(57), 1.0, 0.005) << program;
        secondHarmonicDB[program] =
            10 * std::log10(testsupport::goertzelPower(out, 2048, 2 * keyHz(57), samplerRate) /
                            testsupport::goertzelPower(out, 2048, keyHz(57), samplerRate));
        rig.unit->sendController(120, 0, 0);
        (void)left(rig, 0.05);
    }
    EXPECT_GT(std::abs(secondHarmonicDB[1] - secondHarmonicDB[0]), 6.0)
        << secondHarmonicDB[0] << " " << secondHarmonicDB[1];
}

TEST(SamplerUnitTest, ThirtyTwoVoicesRenderWithoutAllocating) {
    SamplerInstrument instrument;
    instrument.zones = {sineZone(441.0, 69, 3.0)};
    SamplerInstrument modulated = instrument;
    modulated.zones[0].filter = {true, 2000.0, 6.0};
    modulated.zones[0].lfos = {{1, 0.0, 5.0}, {0, 0.1, 2.0}};
    modulated.zones[0].modulations = {{0, platform::SamplerModulation::Destination::pitch, -50, 50, 1},
                                      {1, platform::SamplerModulation::Destination::gain, -3, 3, -1}};
    auto zonesRig = samplerRig(std::move(instrument));
    auto modulatedRig = samplerRig(std::move(modulated));
    modulatedRig.unit->sendController(1, 100, 0);
    auto bankRig = samplerRig();
    ASSERT_TRUE(bankRig.unit->loadSoundBank({generalMIDIBank, 0, 121, 0}));
    for (auto* rig : {&zonesRig, &modulatedRig, &bankRig}) {
        traptest::ScopedTrapHooks hooks;
        for (std::uint8_t key = 40; key < 72; ++key)
            rig->unit->startNote(key, 100, std::uint8_t(key % 16));
        const auto out = rig->render(22050, 512);
        EXPECT_GT(rms(out[0]), 0.01);
        for (std::uint8_t key = 40; key < 72; ++key)
            rig->unit->stopNote(key, std::uint8_t(key % 16));
        (void)rig->render(4410, 512);
        traptest::expectNoRenderAllocations();
    }
    EXPECT_EQ(zonesRig.unit->activeVoiceCount(), 0u);
}

// A looped sine at full scale, rooted at `root`: 441 Hz repeats every 100 frames.
testsupport::SoundFontSample loopedSine(std::uint8_t root = 69) {
    testsupport::SoundFontSample sample;
    sample.data = testsupport::pcm16(testsupport::sine(8800, 441.0, samplerRate, 1.0));
    sample.rootKey = root;
    sample.loop = true;
    sample.loopStart = 4400;
    sample.loopEnd = 8800;
    return sample;
}

std::string writeBank(const testsupport::TemporaryFolder& folder, const std::string& name,
                      const testsupport::RiffBytes& bytes) {
    const std::string path = folder.file(name);
    EXPECT_TRUE(platform::writeFileAtomically(path, bytes));
    return path;
}

TEST(SamplerUnitTest, SoundBanksWhoseSampleHeadersLieAreRefusedAndTheLastInstrumentStays) {
    testsupport::TemporaryFolder folder;
    auto rig = samplerRig();
    const std::string good = writeBank(folder, "good.sf2", testsupport::soundFontBytes({loopedSine()}, {{}}));
    ASSERT_TRUE(rig.unit->loadSoundBank({good, 0, 121, 0}));
    const std::string fifo = folder.file("fifo.sf2");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // How each bad bank differs from the good one.
    using Change = std::function<void(testsupport::SoundFontSample&)>;
    for (const auto& [name, change] : std::vector<std::pair<const char*, Change>>{
             {"loop past the end", [](auto& s) { s.loopEnd = 9000; }},
             {"loop far past the data", [](auto& s) { s.loopEnd = 4000000; }},
             {"loop before the start", [](auto& s) { s.loopStart = 0xFFFFFF00u; }},
             {"end past the data", [](auto& s) { s.end = 100000; }},
             {"end before start", [](auto& s) { s.end = 0; }},
             {"rate of 1 GHz", [](auto& s) { s.rate = 1000000000; }},
             {"rate of 500 Hz", [](auto& s) { s.rate = 500; }},
         }) {
        auto sample = loopedSine();
        change(sample);
        const std::string path =
            writeBank(folder, std::string(name) + ".sf2", testsupport::soundFontBytes({sample}, {{}}));
        const auto loaded = rig.unit->loadSoundBank({path, 0, 121, 0});
        ASSERT_FALSE(loaded) << name;
        EXPECT_EQ(loaded.error().code, SamplerUnit::invalidFileError) << name;
    }
    const auto fromFifo = rig.unit->loadSoundBank({fifo, 0, 121, 0});
    ASSERT_FALSE(fromFifo);
    EXPECT_EQ(fromFifo.error().code, SamplerUnit::invalidFileError);
    // The good bank still plays.
    rig.unit->startNote(69, 127, 0);
    const auto out = left(rig, 0.5);
    EXPECT_NEAR(spectralPeakFrequency(out, 2048, samplerRate) / 441.0, 1.0, 0.005);
}

TEST(SamplerUnitTest, ManySoundBankNotesOnSeveralChannelsStayBelowFullScale) {
    testsupport::TemporaryFolder folder;
    // Programs of one full-scale sine; four channels play six notes each, as a dense arrangement does.
    // At FluidSynth's full gain these peak above 4.
    std::vector<testsupport::SoundFontPreset> presets;
    for (std::uint16_t program = 0; program < 4; ++program)
        presets.push_back({program, 0, 0});
    const std::string bank =
        writeBank(folder, "loud.sf2", testsupport::soundFontBytes({loopedSine(60)}, presets));
    auto rig = samplerRig();
    ASSERT_TRUE(rig.unit->loadSoundBank({bank, 0, 121, 0}));
    for (std::uint8_t channel = 0; channel < 4; ++channel) {
        rig.unit->sendProgramChange(channel, channel);
        for (std::uint8_t note : {48, 52, 55, 60, 64, 67})
            rig.unit->startNote(std::uint8_t(note + channel % 3), 100, channel);
    }
    const auto out = rig.render(std::uint32_t(samplerRate), 512);
    EXPECT_EQ(rig.unit->activeVoiceCount(), 24u);
    EXPECT_GT(testsupport::peak(out[0]), 0.2f);
    for (const auto& side : out)
        EXPECT_LT(testsupport::peak(side), 1.0f);
    // The master gain keeps its meaning on top of the bank's level.
    const float before = testsupport::peak(out[0], out[0].size() / 2);
    rig.unit->setMasterGain(-6.0206f);
    const auto quieter = rig.render(std::uint32_t(samplerRate), 512);
    EXPECT_NEAR(testsupport::peak(quieter[0], quieter[0].size() / 2) / before, 0.5, 0.05);
}

TEST(SamplerUnitTest, LayerFilterAndLFOsShapeTheirVoices) {
    const auto zoneWith = [](double hz, const std::function<void(SamplerZone&)>& change) {
        SamplerZone zone = sineZone(hz, 69, 0.2);
        zone.loopEnabled = true;
        zone.loopStart = 4400; // whole periods of 441 Hz
        zone.loopEnd = 8800;
        change(zone);
        SamplerInstrument instrument;
        instrument.zones = {zone};
        return instrument;
    };
    // A low-pass at 500 Hz takes a 5 kHz tone down by more than 30 dB; disabled, it does nothing.
    for (const bool enabled : {false, true}) {
        auto rig = samplerRig(zoneWith(5000.0, [&](SamplerZone& z) { z.filter = {enabled, 500.0, 0.0}; }));
        rig.unit->startNote(69, 127, 0);
        const double level = rms(left(rig, 0.5), 4410);
        if (enabled)
            EXPECT_LT(level, 0.5 / std::sqrt(2.0) * 0.62 * 0.03) << "filtered";
        else
            EXPECT_GT(level, 0.5 / std::sqrt(2.0) * 0.62 * 0.9) << "unfiltered";
    }
    // A square LFO at 1 Hz moving the pitch ±100 cents: the first half second sounds 100 cents sharp,
    // the second 100 cents flat. Through controller 1, the wheel decides the depth.
    using Modulation = platform::SamplerModulation;
    for (const int wheel : {-1, 0, 127}) {
        auto rig = samplerRig(zoneWith(441.0, [&](SamplerZone& z) {
            z.lfos = {{2, 0.0, 1.0}};
            z.modulations = {{0, Modulation::Destination::pitch, -100.0, 100.0, wheel < 0 ? -1 : 1}};
        }));
        if (wheel >= 0) rig.unit->sendController(1, std::uint8_t(wheel), 0);
        rig.unit->startNote(69, 127, 0);
        const auto out = left(rig, 1.0);
        const double cents = wheel == 0 ? 0.0 : 100.0;
        const double firstHz = testsupport::zeroCrossingFrequency(
            std::vector<float>(out.begin() + 4410, out.begin() + 17640), 0, samplerRate);
        const double secondHz = testsupport::zeroCrossingFrequency(
            std::vector<float>(out.begin() + 26460, out.begin() + 39690), 0, samplerRate);
        EXPECT_NEAR(firstHz / 441.0, std::exp2(cents / 1200.0), 0.003) << "wheel " << wheel;
        EXPECT_NEAR(secondHz / 441.0, std::exp2(-cents / 1200.0), 0.003) << "wheel " << wheel;
    }
    // A triangle LFO at 4 Hz moving the gain ±6 dB, after a delay of half a second: steady before,
    // swinging by 12 dB after.
    auto rig = samplerRig(zoneWith(441.0, [](SamplerZone& z) {
        z.lfos = {{0, 0.5, 4.0}};
        z.modulations = {{0, Modulation::Destination::gain, -6.0, 6.0, -1}};
    }));
    rig.unit->startNote(69, 127, 0);
    const auto out = left(rig, 1.0);
    std::vector<double> windows; // rms of windows of four periods
    for (std::size_t at = 0; at + 400 <= out.size(); at += 400)
        windows.push_back(rms(out, at, at + 400));
    const auto [quietBefore, loudBefore] = std::minmax_element(windows.begin() + 2, windows.begin() + 54);
    const auto [quietAfter, loudAfter] = std::minmax_element(windows.begin() + 56, windows.end());
    EXPECT_LT(testsupport::toDecibels(*loudBefore / *quietBefore), 0.1);
    EXPECT_NEAR(testsupport::toDecibels(*loudAfter / *quietAfter), 12.0, 1.0);
}

TEST(SamplerUnitTest, ALoopAtAnExtremeStepWrapsAndStaysFinite) {
    // A zone built in code may state any rate. At 1e18 Hz played 127 keys above its root, one step
    // lands some 3e16 frames past a loop of three, where taking one loop length off at a time no longer
    // changes the position in double precision: the wrap must take the remainder at once, or it never
    // ends.
    SamplerZone zone = sineZone(441.0, 0, 0.01);
    std::const_pointer_cast<platform::SamplerSample>(zone.sample)->sampleRate = 1e18;
    zone.loopEnabled = true;
    zone.loopStart = 100;
    zone.loopEnd = 103;
    SamplerInstrument instrument;
    instrument.zones = {zone};
    auto rig = samplerRig(std::move(instrument));
    rig.unit->startNote(127, 127, 0);
    const auto out = left(rig, 0.5);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float v) { return std::isfinite(v); }));
    EXPECT_EQ(rig.unit->activeVoiceCount(), 1u);
}

} // namespace
