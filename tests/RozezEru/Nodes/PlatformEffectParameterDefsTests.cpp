#include "RozezEru/Nodes/PlatformEffectParameterDefs.h"

#include "RozezEru/Internals/FourCC.h"

#include <gtest/gtest.h>

#include <set>

using namespace rozezeru;
using EffectUnit = platform::AudioUnitParameterUnit;

namespace {

std::vector<std::string> effectIdentifiers(PlatformEffect effect) {
    std::vector<std::string> result;
    for (const auto& each : platformEffectParameterDefs(effect))
        result.push_back(each.identifier);
    return result;
}

auto fields(const NodeParameterDef& d) {
    return std::tuple(d.identifier, d.name, d.address, d.defaultValue, d.range.lowerBound, d.range.upperBound,
                      d.unit, d.flags);
}

using E = PlatformEffect;
NodeParameterDef def(PlatformEffect effect, const char* identifier) {
    return platformEffectParameterDef(effect, identifier);
}

} // namespace

TEST(PlatformEffectParameterDefs, ADistortionUnitGetsItsSixteenParametersInOrderAtTheirDefaults) {
    // In this order, at these defaults, on its unit: setting them up is the node parameter tests' part.
    const auto& defs = platformEffectParameterDefs(PlatformEffect::distortion);
    ASSERT_EQ(defs.size(), 16u);
    const std::vector<std::string> order = {"delay",        "decay",          "delayMix",     "ringModFreq1",
                                            "ringModFreq2", "ringModBalance", "ringModMix",   "decimation",
                                            "rounding",     "decimationMix",  "linearTerm",   "squaredTerm",
                                            "cubicTerm",    "polynomialMix",  "softClipGain", "finalMix"};
    const std::vector<platform::AUParameterAddress> addresses = {0, 1, 2, 10, 11, 12, 13, 3,
                                                                 4, 5, 6, 7,  8,  9,  14, 15};
    const std::vector<float> defaults = {0.1f, 1, 50, 100, 100, 50, 0, 50, 0, 50, 0.5f, 10, 10, 50, -6, 50};
    for (std::size_t i = 0; i < defs.size(); ++i)
        EXPECT_EQ(std::tuple(defs[i].identifier, defs[i].address, defs[i].flags, defs[i].defaultValue),
                  std::tuple(order[i], addresses[i], 0xC2000000u, defaults[i]));
    EXPECT_EQ(std::tuple(defs[0].unit, defs[10].unit, defs[14].range.lowerBound),
              std::tuple(EffectUnit::milliseconds, EffectUnit::linearGain, -80.0f));
    EXPECT_EQ(platformEffectDescription(PlatformEffect::distortion),
              (platform::AudioComponentDescription{fourCC("aufx"), fourCC("dist"), fourCC("appl"), 0, 0}));
}

TEST(PlatformEffectParameterDefs, LikeDefinitionsAndTheirDifferences) {
    // High- and low-pass filters share their definitions; only the unit's subtype differs.
    const auto& highPass = platformEffectParameterDefs(PlatformEffect::highPassFilter);
    const auto& lowPass = platformEffectParameterDefs(PlatformEffect::lowPassFilter);
    ASSERT_EQ(std::pair(highPass.size(), lowPass.size()), std::pair(std::size_t(2), std::size_t(2)));
    for (std::size_t i = 0; i < 2; ++i)
        EXPECT_EQ(fields(highPass[i]), fields(lowPass[i]));
    EXPECT_EQ(platformEffectDescription(PlatformEffect::highPassFilter).componentSubType, fourCC("hpas"));
    EXPECT_EQ(platformEffectDescription(PlatformEffect::lowPassFilter).componentSubType, fourCC("lpas"));

    // The final mix sits at platform address 15 in all three distortion-unit wrappers.
    for (auto effect : {PlatformEffect::ringModulator, PlatformEffect::decimator, PlatformEffect::distortion})
        EXPECT_EQ(platformEffectParameterDef(effect, "finalMix").address, 15u);

    EXPECT_EQ(def(E::highShelfFilter, "cutOffFrequency").name, "Cut Off Frequency");
    EXPECT_EQ(def(E::highShelfFilter, "cutOffFrequency").range.lowerBound, 10000.0f);
    EXPECT_EQ(def(E::lowShelfFilter, "cutoffFrequency").name, "Cutoff Frequency");
    EXPECT_EQ(def(E::parametricEQ, "centerFreq").name, "Center Freq");
    EXPECT_EQ(def(E::bandPassFilter, "centerFrequency").address, 0u);
    EXPECT_EQ(def(E::bandPassFilter, "bandwidth").unit, EffectUnit::cents);
    EXPECT_EQ(def(E::parametricEQ, "q").unit, EffectUnit::hertz);
    EXPECT_EQ(std::pair(def(E::delay, "feedback").unit, def(E::delay, "feedback").range.lowerBound),
              std::pair(EffectUnit::generic, -100.0f));
    EXPECT_EQ(def(E::delay, "dryWetMix").unit, EffectUnit::generic);
    EXPECT_EQ(def(E::delay, "time").name, "Delay time (Seconds)");
    EXPECT_EQ(def(E::dynamicsProcessor, "expansionThreshold").unit, EffectUnit::decibels);
    EXPECT_EQ(std::pair(def(E::expander, "expansionThreshold").unit,
                        def(E::expander, "expansionThreshold").address),
              std::pair(EffectUnit::rate, platform::AUParameterAddress(3)));
    EXPECT_EQ(def(E::peakLimiter, "decayTime").defaultValue, 0.024f);
    EXPECT_EQ(def(E::compressor, "attackTime").range.lowerBound, 0.0001f);

    EXPECT_EQ(effectIdentifiers(PlatformEffect::compressor),
              (std::vector<std::string>{"threshold", "headRoom", "attackTime", "releaseTime", "masterGain"}));
    EXPECT_EQ(effectIdentifiers(PlatformEffect::expander),
              (std::vector<std::string>{"expansionRatio", "expansionThreshold", "attackTime", "releaseTime",
                                        "masterGain"}));
    EXPECT_EQ(effectIdentifiers(PlatformEffect::decimator),
              (std::vector<std::string>{"decimation", "rounding", "finalMix"}));
    for (auto [effect, count] : {std::pair{E::dynamicsProcessor, 7u},
                                 {E::delay, 4u},
                                 {E::ringModulator, 4u},
                                 {E::peakLimiter, 3u},
                                 {E::parametricEQ, 3u}})
        EXPECT_EQ(platformEffectParameterDefs(effect).size(), count);

    // Every definition: flags 0xC2000000, a range that holds its default, identifiers unique per wrapper.
    std::set<std::uint32_t> subtypes;
    for (int i = 0; i <= int(PlatformEffect::parametricEQ); ++i) {
        const auto effect = PlatformEffect(i);
        const auto description = platformEffectDescription(effect);
        EXPECT_EQ(std::pair(description.componentType, description.componentManufacturer),
                  std::pair(fourCC("aufx"), fourCC("appl")));
        subtypes.insert(description.componentSubType);
        std::set<std::string> seen;
        for (const auto& each : platformEffectParameterDefs(effect)) {
            EXPECT_EQ(each.flags, 0xC2000000u) << each.identifier;
            EXPECT_TRUE(each.range.lowerBound <= each.defaultValue &&
                        each.defaultValue <= each.range.upperBound)
                << each.identifier;
            EXPECT_TRUE(seen.insert(each.identifier).second) << each.identifier;
        }
    }
    EXPECT_EQ(subtypes.size(), 10u);
}

TEST(PlatformEffectParameterDefsDeathTest, AnUnknownIdentifierIsAProgrammingError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(platformEffectParameterDef(PlatformEffect::delay, "cutoffFrequency"),
                 "No platform effect parameter \"cutoffFrequency\"");
}
