#include "RozezEru/Nodes/PlatformEffectParameterDefs.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Nodes/NodeParameter.h"

#include <string>

namespace rozezeru {

namespace platformeffectdefs {
namespace {

using EffectUnit = platform::AudioUnitParameterUnit;

NodeParameterDef platformEffectDef(const char* identifier, const char* name,
                                   platform::AUParameterAddress address, float defaultValue, float minimum,
                                   float maximum, EffectUnit unit) {
    return {identifier,
            name,
            address,
            defaultValue,
            {minimum, maximum},
            unit,
            AudioUnitParameterOptions::default_};
}

// Rows the distortion unit's wrappers share.
NodeParameterDef decimationDef() {
    return platformEffectDef("decimation", "Decimation", 3, 50, 0, 100, EffectUnit::percent);
}
NodeParameterDef roundingDef() {
    return platformEffectDef("rounding", "Rounding", 4, 0, 0, 100, EffectUnit::percent);
}
NodeParameterDef finalMixDef() {
    return platformEffectDef("finalMix", "Final Mix", 15, 50, 0, 100, EffectUnit::percent);
}
NodeParameterDef ringModFreq1Def() {
    return platformEffectDef("ringModFreq1", "Ring Mod Freq1", 10, 100, 0.5f, 8000, EffectUnit::hertz);
}
NodeParameterDef ringModFreq2Def() {
    return platformEffectDef("ringModFreq2", "Ring Mod Freq2", 11, 100, 0.5f, 8000, EffectUnit::hertz);
}
NodeParameterDef ringModBalanceDef() {
    return platformEffectDef("ringModBalance", "Ring Mod Balance", 12, 50, 0, 100, EffectUnit::percent);
}

// And those of the dynamics unit.
NodeParameterDef thresholdDef() {
    return platformEffectDef("threshold", "Threshold", 0, -20, -40, 20, EffectUnit::decibels);
}
NodeParameterDef headRoomDef() {
    return platformEffectDef("headRoom", "Head Room", 1, 5, 0.1f, 40, EffectUnit::decibels);
}
NodeParameterDef expansionRatioDef() {
    return platformEffectDef("expansionRatio", "Expansion Ratio", 2, 2, 1, 50, EffectUnit::rate);
}
NodeParameterDef dynamicsTimingDef(bool attack) {
    return attack
               ? platformEffectDef("attackTime", "Attack Time", 4, 0.001f, 0.0001f, 0.2f, EffectUnit::seconds)
               : platformEffectDef("releaseTime", "Release Time", 5, 0.05f, 0.01f, 3, EffectUnit::seconds);
}
NodeParameterDef masterGainDef() {
    return platformEffectDef("masterGain", "Master Gain", 6, 0, -40, 40, EffectUnit::decibels);
}

std::vector<NodeParameterDef> makePlatformEffectDefs(PlatformEffect effect) {
    switch (effect) {
    case PlatformEffect::delay:
        return {
            platformEffectDef("dryWetMix", "Dry-Wet Mix", 0, 100, 0, 100, EffectUnit::generic),
            platformEffectDef("time", "Delay time (Seconds)", 1, 1, 0, 2, EffectUnit::seconds),
            platformEffectDef("feedback", "Feedback (%)", 2, 50, -100, 100, EffectUnit::generic),
            platformEffectDef("lowPassCutoff", "Low Pass Cutoff Frequency", 3, 15000, 10, 22050,
                              EffectUnit::hertz),
        };
    case PlatformEffect::decimator:
        return {decimationDef(), roundingDef(), finalMixDef()};
    case PlatformEffect::distortion:
        return {
            platformEffectDef("delay", "Delay", 0, 0.1f, 0.1f, 500, EffectUnit::milliseconds),
            platformEffectDef("decay", "Decay", 1, 1, 0.1f, 50, EffectUnit::rate),
            platformEffectDef("delayMix", "Delay Mix", 2, 50, 0, 100, EffectUnit::percent),
            ringModFreq1Def(),
            ringModFreq2Def(),
            ringModBalanceDef(),
            platformEffectDef("ringModMix", "Ring Mod Mix", 13, 0, 0, 100, EffectUnit::percent),
            decimationDef(),
            roundingDef(),
            platformEffectDef("decimationMix", "Decimation Mix", 5, 50, 0, 100, EffectUnit::percent),
            platformEffectDef("linearTerm", "Linear Term", 6, 0.5f, 0, 1, EffectUnit::linearGain),
            platformEffectDef("squaredTerm", "Squared Term", 7, 10, 0, 20, EffectUnit::linearGain),
            platformEffectDef("cubicTerm", "Cubic Term", 8, 10, 0, 20, EffectUnit::linearGain),
            platformEffectDef("polynomialMix", "Polynomial Mix", 9, 50, 0, 100, EffectUnit::percent),
            platformEffectDef("softClipGain", "Soft Clip Gain", 14, -6, -80, 20, EffectUnit::decibels),
            finalMixDef(),
        };
    case PlatformEffect::ringModulator:
        return {ringModFreq1Def(), ringModFreq2Def(), ringModBalanceDef(), finalMixDef()};
    case PlatformEffect::compressor:
        return {thresholdDef(), headRoomDef(), dynamicsTimingDef(true), dynamicsTimingDef(false),
                masterGainDef()};
    case PlatformEffect::dynamicsProcessor:
        return {
            thresholdDef(),
            headRoomDef(),
            expansionRatioDef(),
            platformEffectDef("expansionThreshold", "Expansion Threshold", 3, 2, 1, 50, EffectUnit::decibels),
            dynamicsTimingDef(true),
            dynamicsTimingDef(false),
            masterGainDef(),
        };
    case PlatformEffect::expander:
        // The expander's threshold carries the rate unit, the dynamics processor's decibels.
        return {
            expansionRatioDef(),
            platformEffectDef("expansionThreshold", "Expansion Threshold", 3, 2, 1, 50, EffectUnit::rate),
            dynamicsTimingDef(true),
            dynamicsTimingDef(false),
            masterGainDef(),
        };
    case PlatformEffect::peakLimiter:
        return {
            platformEffectDef("attackTime", "Attack Time", 0, 0.012f, 0.001f, 0.03f, EffectUnit::seconds),
            platformEffectDef("decayTime", "Decay Time", 1, 0.024f, 0.001f, 0.06f, EffectUnit::seconds),
            platformEffectDef("preGain", "Pre Gain", 2, 0, -40, 40, EffectUnit::decibels),
        };
    case PlatformEffect::bandPassFilter:
        return {
            platformEffectDef("centerFrequency", "Center Frequency", 0, 5000, 20, 22050, EffectUnit::hertz),
            platformEffectDef("bandwidth", "Bandwidth", 1, 600, 100, 12000, EffectUnit::cents),
        };
    case PlatformEffect::highPassFilter:
    case PlatformEffect::lowPassFilter:
        return {
            platformEffectDef("cutoffFrequency", "Cutoff Frequency", 0, 6900, 10, 22050, EffectUnit::hertz),
            platformEffectDef("resonance", "Resonance", 1, 0, -20, 40, EffectUnit::decibels),
        };
    case PlatformEffect::highShelfFilter:
        return {
            platformEffectDef("cutOffFrequency", "Cut Off Frequency", 0, 10000, 10000, 22050,
                              EffectUnit::hertz),
            platformEffectDef("gain", "Gain", 1, 0, -40, 40, EffectUnit::decibels),
        };
    case PlatformEffect::lowShelfFilter:
        return {
            platformEffectDef("cutoffFrequency", "Cutoff Frequency", 0, 80, 10, 200, EffectUnit::hertz),
            platformEffectDef("gain", "Gain", 1, 0, -40, 40, EffectUnit::decibels),
        };
    case PlatformEffect::parametricEQ:
        // The platform's equaliser reports its Q in the hertz unit.
        return {
            platformEffectDef("centerFreq", "Center Freq", 0, 2000, 20, 22050, EffectUnit::hertz),
            platformEffectDef("q", "Q", 1, 1, 0.1f, 20, EffectUnit::hertz),
            platformEffectDef("gain", "Gain", 2, 0, -20, 20, EffectUnit::decibels),
        };
    }
    return {};
}

constexpr int platformEffectCount = static_cast<int>(PlatformEffect::parametricEQ) + 1;

} // namespace
} // namespace platformeffectdefs

using platformeffectdefs::makePlatformEffectDefs;
using platformeffectdefs::platformEffectCount;

platform::AudioComponentDescription platformEffectDescription(PlatformEffect effect) {
    const char* subType = "";
    switch (effect) {
    case PlatformEffect::delay:
        subType = "dely";
        break;
    case PlatformEffect::decimator:
    case PlatformEffect::distortion:
    case PlatformEffect::ringModulator:
        subType = "dist";
        break;
    case PlatformEffect::compressor:
    case PlatformEffect::dynamicsProcessor:
    case PlatformEffect::expander:
        subType = "dcmp";
        break;
    case PlatformEffect::peakLimiter:
        subType = "lmtr";
        break;
    case PlatformEffect::bandPassFilter:
        subType = "bpas";
        break;
    case PlatformEffect::highPassFilter:
        subType = "hpas";
        break;
    case PlatformEffect::highShelfFilter:
        subType = "hshf";
        break;
    case PlatformEffect::lowPassFilter:
        subType = "lpas";
        break;
    case PlatformEffect::lowShelfFilter:
        subType = "lshf";
        break;
    case PlatformEffect::parametricEQ:
        subType = "pmeq";
        break;
    }
    return componentDescription::appleEffect(fourCC(subType));
}

const std::vector<NodeParameterDef>& platformEffectParameterDefs(PlatformEffect effect) {
    static const auto tables = [] {
        std::vector<std::vector<NodeParameterDef>> all;
        for (int i = 0; i < platformEffectCount; ++i)
            all.push_back(makePlatformEffectDefs(static_cast<PlatformEffect>(i)));
        return all;
    }();
    return tables.at(static_cast<std::size_t>(effect));
}

const NodeParameterDef& platformEffectParameterDef(PlatformEffect effect, std::string_view identifier) {
    for (const NodeParameterDef& def : platformEffectParameterDefs(effect))
        if (def.identifier == identifier) return def;
    nodeParameterFailure("No platform effect parameter \"" + std::string(identifier) + "\".");
}

} // namespace rozezeru
