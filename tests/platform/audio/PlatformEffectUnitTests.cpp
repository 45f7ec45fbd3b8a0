#include "RenderAllocationTrap.h"

#include "platform/audio/AudioComponentRegistry.h"
#include "platform/audio/DelayUnit.h"
#include "platform/audio/DistortionUnit.h"
#include "platform/audio/DynamicsProcessorUnit.h"
#include "platform/audio/FilterEffectUnit.h"
#include "platform/audio/NewPitchUnit.h"
#include "platform/audio/PeakLimiterUnit.h"
#include "platform/audio/ReverbUnit.h"
#include "tests/support/EngineRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

using namespace platform;
using testsupport::stereo;

namespace {

constexpr double fxRate = 44100.0;
using FxSignal = std::function<float(std::int64_t)>;
using FxRig = testsupport::UnitRig<AudioUnit>;

// Source (`signal`) -> the registered unit of `subType` -> output, with `parameters` (address, value) set.
FxRig fxRig(const char (&subType)[5], FxSignal signal,
            const std::vector<std::pair<AUParameterAddress, AUValue>>& parameters = {}) {
    auto node = AudioComponentRegistry::shared().instantiate(appleEffectDescription(subType));
    EXPECT_TRUE(node) << subType;
    for (auto [address, value] : parameters)
        (*node)->auAudioUnit().parameterTree()->parameterWithAddress(address)->setValue(value);
    return testsupport::makeUnitRig<AudioUnit>(*node, stereo(), 512, std::move(signal));
}

FxSignal fxSine(double hz, double amplitude = 0.5) {
    return [=](std::int64_t n) {
        return float(amplitude * std::sin(2.0 * std::numbers::pi * hz * double(n) / fxRate));
    };
}

FxSignal fxClick() {
    return [](std::int64_t n) { return n == 0 ? 1.0f : 0.0f; };
}

// Gain in dB of a unit at `hz`, from the second half of 16384 rendered frames.
double fxGainAt(const char (&subType)[5],
                const std::vector<std::pair<AUParameterAddress, AUValue>>& parameters, double hz) {
    auto rig = fxRig(subType, fxSine(hz), parameters);
    const auto out = rig.render(16384, 512);
    return testsupport::toDecibels(testsupport::toneAmplitude(out[0], fxRate, hz, 8192) / 0.5);
}

double fxSum(const std::vector<float>& samples, std::size_t from, std::size_t to) {
    double sum = 0.0;
    for (std::size_t n = from; n < to; ++n)
        sum += samples[n];
    return sum;
}

// Decay time (RT60) from the -5 to -25 dB span of the backward-integrated energy of an impulse response.
double fxDecayTime(const std::vector<float>& response) {
    std::vector<double> energy(response.size() + 1, 0.0);
    for (std::size_t n = response.size(); n-- > 0;)
        energy[n] = energy[n + 1] + double(response[n]) * response[n];
    auto crossing = [&](double decibels) {
        std::size_t n = 0;
        while (n < response.size() && 10.0 * std::log10(energy[n] / energy[0]) > decibels)
            ++n;
        return double(n);
    };
    return 3.0 * (crossing(-25.0) - crossing(-5.0)) / fxRate;
}

} // namespace

TEST(PlatformEffectUnits, EachBypassesExactlyRendersItsDefaultsAndNeverAllocatesWhileRendering) {
    const char* subTypes[] = {"dely", "dist", "dcmp", "lmtr", "bpas", "hpas",
                              "lpas", "hshf", "lshf", "pmeq", "rvb2", "nutp"};
    const auto noise = testsupport::lcgNoise(1 << 16, 7);
    for (const char* subType : subTypes) {
        SCOPED_TRACE(subType);
        char code[5] = {subType[0], subType[1], subType[2], subType[3], 0};
        auto rig = fxRig(code, [&noise](std::int64_t n) { return noise[std::size_t(n) % noise.size()]; });
        traptest::ScopedTrapHooks hooks;
        // The delay's default is one second, all wet.
        const auto played = rig.render(65536, 512);
        ASSERT_EQ(played.size(), 2u);
        EXPECT_TRUE(
            std::all_of(played[0].begin(), played[0].end(), [](float v) { return std::isfinite(v); }));
        EXPECT_GT(testsupport::rms(played[0], 49152), 1e-3);
        // A ramp of every writable parameter to its top, then bypass.
        for (const auto& parameter : rig.unit->parameterTree()->allParameters())
            if (parameter->flags() & AudioUnitParameterFlag::canRamp)
                rig.unit->scheduleParameterRamp(AUEventSampleTimeImmediate + 100, 700, parameter->address(),
                                                parameter->maxValue());
        EXPECT_TRUE(std::isfinite(testsupport::rms(rig.render(4096, 333)[1])));
        rig.unit->setShouldBypassEffect(true);
        const std::int64_t first = rig.source.frames->load();
        const auto bypassed = rig.render(1024, 512);
        traptest::expectNoRenderAllocations();
        for (std::size_t n = 0; n < 1024; ++n)
            ASSERT_EQ(bypassed[1][n], noise[(std::size_t(first) + n) % noise.size()]) << n;
    }
}

TEST(PlatformEffectUnits, FiltersMeetTheirCornersAndShelfGains) {
    using Case =
        std::tuple<const char*, std::vector<std::pair<AUParameterAddress, AUValue>>, double, double, double>;
    const Case cases[] = {
        {"lpas", {{0, 1000}, {1, 0}}, 1000, -3.01, 0.05},
        {"lpas", {{0, 1000}, {1, 0}}, 100, 0.0, 0.05},
        {"lpas", {{0, 1000}, {1, 12}}, 1000, 8.99, 0.05},
        {"hpas", {{0, 2000}, {1, 0}}, 2000, -3.01, 0.05},
        {"hpas", {{0, 2000}, {1, 0}}, 200, -40.0, 0.5},
        {"bpas", {{0, 2000}, {1, 1200}}, 2000, 0.0, 0.05},
        {"bpas", {{0, 2000}, {1, 1200}}, 2000 * std::numbers::sqrt2, -3.01, 0.2},
        {"bpas", {{0, 2000}, {1, 1200}}, 2000 / std::numbers::sqrt2, -3.01, 0.2},
        {"lshf", {{0, 100}, {1, 12}}, 20, 12.0, 0.5},
        {"lshf", {{0, 100}, {1, 12}}, 4000, 0.0, 0.1},
        {"hshf", {{0, 10000}, {1, -9}}, 21000, -9.0, 0.5},
        {"hshf", {{0, 10000}, {1, -9}}, 500, 0.0, 0.1},
        {"pmeq", {{0, 1000}, {1, 2}, {2, 9}}, 1000, 9.0, 0.05},
        {"pmeq", {{0, 1000}, {1, 2}, {2, 9}}, 100, 0.0, 0.2},
    };
    for (const auto& [subType, parameters, hz, decibels, tolerance] : cases) {
        char code[5] = {subType[0], subType[1], subType[2], subType[3], 0};
        EXPECT_NEAR(fxGainAt(code, parameters, hz), decibels, tolerance) << subType << " " << hz;
    }
}

TEST(PlatformEffectUnits, DelayEchoesAfterItsTimeWithItsFeedback) {
    const std::size_t echo = 2205; // 0.05 s
    auto rig = fxRig("dely", fxClick(),
                     {{DelayUnit::delayTime, 0.05f}, {DelayUnit::feedback, -50}, {DelayUnit::dryWetMix, 40}});
    const auto out = rig.render(8192, 512);
    EXPECT_FLOAT_EQ(out[0][0], 0.6f);
    const auto loudest = std::max_element(out[0].begin() + 1000, out[0].begin() + 3000,
                                          [](float a, float b) { return std::fabs(a) < std::fabs(b); });
    EXPECT_NEAR(double(loudest - out[0].begin()), double(echo), 2.0);
    EXPECT_NEAR(fxSum(out[0], 1, echo - 10), 0.0, 1e-6);
    EXPECT_NEAR(fxSum(out[0], echo - 10, echo + 200), 0.4, 0.01);
    EXPECT_NEAR(fxSum(out[0], 2 * echo - 10, 2 * echo + 200), -0.2, 0.01);
}

TEST(PlatformEffectUnits, PeakLimiterHoldsEveryPeakWithinTheCeiling) {
    // Quiet, then 18 dB louder than full scale after the pre-gain.
    auto rig = fxRig("lmtr", [](std::int64_t n) { return fxSine(440, n < 10000 ? 0.05 : 0.9)(n); },
                     {{PeakLimiterUnit::preGain, 18}});
    const auto out = rig.render(44100, 512);
    EXPECT_LE(testsupport::peak(out[0]), PeakLimiterUnit::ceiling);
    EXPECT_GT(testsupport::peak(out[0], 20000), 0.95f);
    // Below the ceiling it only delays by its look-ahead, the pre-gain aside.
    const std::size_t lag = PeakLimiterUnit::lookAheadFrames(fxRate);
    EXPECT_NEAR(out[0][5000 + lag], fxSine(440, 0.05 * std::pow(10.0, 0.9))(5000), 1e-5);
}

TEST(PlatformEffectUnits, DynamicsProcessorFollowsItsStaticCurve) {
    using D = DynamicsProcessorUnit;
    // Threshold -20 dB, head room 5 dB; expansion 2:1 below -50 dBFS.
    const std::pair<double, double> curve[] = {
        {-60, -70}, {-54, -58}, {-30, -30}, {-10, -20 + 5.0 * 10 / 15}, {0, -16}};
    for (const auto& [inDecibels, outDecibels] : curve) {
        auto rig = fxRig(
            "dcmp", fxSine(1000, std::pow(10.0, inDecibels / 20.0)),
            {{D::threshold, -20}, {D::headRoom, 5}, {D::expansionThreshold, 50}, {D::expansionRatio, 2}});
        const auto out = rig.render(22050, 512);
        EXPECT_NEAR(testsupport::toDecibels(testsupport::toneAmplitude(out[0], fxRate, 1000, 11025)),
                    outDecibels, 0.5)
            << inDecibels;
        EXPECT_NEAR(rig.unit->getParameter(D::inputAmplitude, AudioUnitScope::global, 0).value(), inDecibels,
                    0.5);
        EXPECT_NEAR(rig.unit->getParameter(D::compressionAmount, AudioUnitScope::global, 0).value(),
                    outDecibels - inDecibels, 0.5);
    }
}

TEST(PlatformEffectUnits, ReverbPresetsDecayFromSmallRoomToCathedral) {
    double previous = 0.0;
    for (std::int32_t raw = 0; raw <= std::int32_t(ReverbPreset::cathedral); ++raw) {
        auto node = *AudioComponentRegistry::shared().instantiate(ReverbUnit::componentDescription());
        auto& reverb = static_cast<ReverbUnit&>(node->auAudioUnit());
        EXPECT_TRUE(reverb.loadFactoryPreset(ReverbPreset(raw)));
        // The mix glides up from dry at the start: the pulse comes once it is wet. A click 1 ms wide puts
        // its energy below the dampings, where the decay times are set.
        auto rig = testsupport::makeUnitRig<AudioUnit>(node, stereo(), 512, [](std::int64_t n) {
            const double t = double(n - 22050) / 44.0;
            return t < 0.0 || t > 1.0 ? 0.0f : float(std::sin(std::numbers::pi * t));
        });
        const auto out = rig.render(22050 + 5 * 44100, 512);
        const double decay = fxDecayTime({out[0].begin() + 22050, out[0].end()});
        EXPECT_GT(decay, previous) << raw;
        EXPECT_LT(decay, raw == 0 ? 0.5 : 10.0);
        previous = decay;
    }
    EXPECT_GT(previous, 4.0);
    ReverbUnit reverb;
    EXPECT_FALSE(reverb.loadFactoryPreset(ReverbPreset(13)));
    EXPECT_EQ(reverb.preset(), ReverbPreset::mediumHall);
}

TEST(PlatformEffectUnits, PitchUnitAnOctaveUpDoublesATone) {
    auto rig = fxRig("nutp", fxSine(440), {{NewPitchUnit::pitchAddress, 1200}});
    EXPECT_EQ(static_cast<NewPitchUnit*>(rig.unit)->pitch(), 1200.0f);
    const auto out = rig.render(44100, 512);
    EXPECT_NEAR(testsupport::zeroCrossingFrequency(out[0], 22050, fxRate), 880.0, 4.0);
}

TEST(PlatformEffectUnits, DistortionStagesAndPresets) {
    // Ring modulation alone: a 1 kHz tone becomes sidebands 100 Hz either side, half of it dry.
    using U = DistortionUnit;
    auto rig = fxRig("dist", fxSine(1000),
                     {{U::delayMix, 0}, {U::decimationMix, 0}, {U::polynomialMix, 0}, {U::ringModMix, 100}});
    const auto out = rig.render(2 * 11025, 441); // whole periods of all three tones in the second half
    for (auto [hz, amplitude] : {std::pair(1000.0, 0.25), {1100.0, 0.125}, {900.0, 0.125}})
        EXPECT_NEAR(testsupport::toneAmplitude(out[0], fxRate, hz, 11025), amplitude, 1e-4) << hz;

    DistortionUnit unit;
    ASSERT_TRUE(unit.loadFactoryPreset(DistortionPreset::multiEcho1));
    EXPECT_EQ(std::tuple(unit.parameterValue(U::delay), unit.parameterValue(U::delayMix), unit.wetDryMix()),
              std::tuple(250.0f, 50.0f, 60.0f));
    unit.setPreGain(30.0f);
    unit.setWetDryMix(-4.0f);
    EXPECT_EQ(std::pair(unit.preGain(), unit.wetDryMix()), std::pair(20.0f, 0.0f));
    EXPECT_FALSE(unit.loadFactoryPreset(DistortionPreset(22)));
}
