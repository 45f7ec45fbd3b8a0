#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/SamplerUnit.h"
#include "platform/foundation/Files.h"

#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"
#include "tests/support/Signals.h"
#include "tests/support/Spectrum.h"

#include <gtest/gtest.h>

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
    auto zonesRig = samplerRig(std::move(instrument));
    auto bankRig = samplerRig();
    ASSERT_TRUE(bankRig.unit->loadSoundBank({generalMIDIBank, 0, 121, 0}));
    for (auto* rig : {&zonesRig, &bankRig}) {
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

} // namespace
