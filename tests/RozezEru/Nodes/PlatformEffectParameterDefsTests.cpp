#include "RozezEru/Nodes/PlatformEffectParameterDefs.h"

#include "RozezEru/Internals/FourCC.h"
#include "RozezEru/Nodes/ParameterSetup.h"

#include "ParameterTestRig.h"

#include <gtest/gtest.h>

#include <set>

using namespace rozezeru;
using EffectUnit = platform::AudioUnitParameterUnit;

namespace {

std::vector<std::string> effectIdentifiers(PlatformEffect effect) {
    std::vector<std::string> result;
    for (const auto& def : platformEffectParameterDefs(effect))
        result.push_back(def.identifier);
    return result;
}

void expectSameEffectDefs(const NodeParameterDef& a, const NodeParameterDef& b) {
    EXPECT_EQ(a.identifier, b.identifier);
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.address, b.address);
    EXPECT_EQ(a.defaultValue, b.defaultValue);
    EXPECT_EQ(a.range.lowerBound, b.range.lowerBound);
    EXPECT_EQ(a.range.upperBound, b.range.upperBound);
    EXPECT_EQ(a.unit, b.unit);
    EXPECT_EQ(a.flags, b.flags);
}

} // namespace

TEST(PlatformEffectParameterDefs, ADistortionUnitGetsItsSixteenParametersInOrderAtTheirDefaults) {
    const auto& defs = platformEffectParameterDefs(PlatformEffect::distortion);
    ASSERT_EQ(defs.size(), 16u);
    // Set up on a unit the way a wrapper does: parameters from the definitions, then each at its default.
    std::vector<std::shared_ptr<NodeParameter>> parameters;
    for (const auto& def : defs)
        parameters.push_back(std::make_shared<NodeParameter>(def));
    auto node = std::make_shared<platform::AudioUnitNode>(std::make_unique<unittest::GainTestUnit>());
    setupParameters(node, parameters);
    for (const auto& parameter : parameters)
        parameter->setValue(parameter->def().defaultValue);

    const auto& tree = node->auAudioUnit().parameterTree()->allParameters();
    ASSERT_EQ(tree.size(), 16u);
    const std::vector<std::string> order = {"delay",        "decay",          "delayMix",     "ringModFreq1",
                                            "ringModFreq2", "ringModBalance", "ringModMix",   "decimation",
                                            "rounding",     "decimationMix",  "linearTerm",   "squaredTerm",
                                            "cubicTerm",    "polynomialMix",  "softClipGain", "finalMix"};
    const std::vector<platform::AUParameterAddress> addresses = {0, 1, 2, 10, 11, 12, 13, 3,
                                                                 4, 5, 6, 7,  8,  9,  14, 15};
    const std::vector<float> defaults = {0.1f, 1, 50, 100, 100, 50, 0, 50, 0, 50, 0.5f, 10, 10, 50, -6, 50};
    for (std::size_t i = 0; i < tree.size(); ++i) {
        EXPECT_EQ(tree[i]->identifier(), order[i]);
        EXPECT_EQ(tree[i]->address(), addresses[i]) << order[i];
        EXPECT_EQ(tree[i]->flags(), 0xC2000000u) << order[i];
        EXPECT_EQ(tree[i]->value(), defaults[i]) << order[i];
    }
    EXPECT_EQ(tree[0]->unit(), EffectUnit::milliseconds);
    EXPECT_EQ(tree[10]->unit(), EffectUnit::linearGain);
    EXPECT_EQ(tree[14]->minValue(), -80.0f);
    EXPECT_EQ(platformEffectDescription(PlatformEffect::distortion),
              (platform::AudioComponentDescription{fourCC("aufx"), fourCC("dist"), fourCC("appl"), 0, 0}));
}

TEST(PlatformEffectParameterDefs, LikeDefinitionsAndTheirDifferences) {
    // High- and low-pass filters share their definitions; only the unit's subtype differs.
    const auto& highPass = platformEffectParameterDefs(PlatformEffect::highPassFilter);
    const auto& lowPass = platformEffectParameterDefs(PlatformEffect::lowPassFilter);
    ASSERT_EQ(highPass.size(), 2u);
    ASSERT_EQ(lowPass.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i)
        expectSameEffectDefs(highPass[i], lowPass[i]);
    EXPECT_EQ(platformEffectDescription(PlatformEffect::highPassFilter).componentSubType, fourCC("hpas"));
    EXPECT_EQ(platformEffectDescription(PlatformEffect::lowPassFilter).componentSubType, fourCC("lpas"));

    // The final mix sits at platform address 15 in all three distortion-unit wrappers.
    for (auto effect : {PlatformEffect::ringModulator, PlatformEffect::decimator, PlatformEffect::distortion})
        EXPECT_EQ(platformEffectParameterDef(effect, "finalMix").address, 15u);

    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::highShelfFilter, "cutOffFrequency").name,
              "Cut Off Frequency");
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::highShelfFilter, "cutOffFrequency").range.lowerBound,
              10000.0f);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::lowShelfFilter, "cutoffFrequency").name,
              "Cutoff Frequency");
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::parametricEQ, "centerFreq").name, "Center Freq");
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::bandPassFilter, "centerFrequency").address, 0u);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::bandPassFilter, "bandwidth").unit,
              EffectUnit::cents);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::parametricEQ, "q").unit, EffectUnit::hertz);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::delay, "feedback").unit, EffectUnit::generic);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::delay, "feedback").range.lowerBound, -100.0f);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::delay, "dryWetMix").unit, EffectUnit::generic);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::delay, "time").name, "Delay time (Seconds)");
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::dynamicsProcessor, "expansionThreshold").unit,
              EffectUnit::decibels);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::expander, "expansionThreshold").unit,
              EffectUnit::rate);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::expander, "expansionThreshold").address, 3u);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::peakLimiter, "decayTime").defaultValue, 0.024f);
    EXPECT_EQ(platformEffectParameterDef(PlatformEffect::compressor, "attackTime").range.lowerBound, 0.0001f);

    EXPECT_EQ(effectIdentifiers(PlatformEffect::compressor),
              (std::vector<std::string>{"threshold", "headRoom", "attackTime", "releaseTime", "masterGain"}));
    EXPECT_EQ(effectIdentifiers(PlatformEffect::expander),
              (std::vector<std::string>{"expansionRatio", "expansionThreshold", "attackTime", "releaseTime",
                                        "masterGain"}));
    EXPECT_EQ(effectIdentifiers(PlatformEffect::decimator),
              (std::vector<std::string>{"decimation", "rounding", "finalMix"}));
    EXPECT_EQ(platformEffectParameterDefs(PlatformEffect::dynamicsProcessor).size(), 7u);
    EXPECT_EQ(platformEffectParameterDefs(PlatformEffect::delay).size(), 4u);
    EXPECT_EQ(platformEffectParameterDefs(PlatformEffect::ringModulator).size(), 4u);
    EXPECT_EQ(platformEffectParameterDefs(PlatformEffect::peakLimiter).size(), 3u);
    EXPECT_EQ(platformEffectParameterDefs(PlatformEffect::parametricEQ).size(), 3u);

    // Every definition: flags 0xC2000000, a range that holds its default, identifiers unique per wrapper.
    std::set<std::uint32_t> subtypes;
    for (int i = 0; i <= int(PlatformEffect::parametricEQ); ++i) {
        const auto effect = PlatformEffect(i);
        const auto description = platformEffectDescription(effect);
        EXPECT_EQ(description.componentType, fourCC("aufx"));
        EXPECT_EQ(description.componentManufacturer, fourCC("appl"));
        subtypes.insert(description.componentSubType);
        std::set<std::string> seen;
        for (const auto& def : platformEffectParameterDefs(effect)) {
            EXPECT_EQ(def.flags, 0xC2000000u) << def.identifier;
            EXPECT_LE(def.range.lowerBound, def.defaultValue) << def.identifier;
            EXPECT_GE(def.range.upperBound, def.defaultValue) << def.identifier;
            EXPECT_TRUE(seen.insert(def.identifier).second) << def.identifier;
        }
    }
    EXPECT_EQ(subtypes.size(), 10u);
}

TEST(PlatformEffectParameterDefsDeathTest, AnUnknownIdentifierIsAProgrammingError) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(platformEffectParameterDef(PlatformEffect::delay, "cutoffFrequency"),
                 "No platform effect parameter \"cutoffFrequency\"");
}
