#pragma once
// A reverb set by a pre-delay, a crossover between a low and a mid band with a release time each, damping,
// two equaliser sections and the mix of reverberated (1) and dry (0) signal. Main thread (the kernel renders
// on the render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class ZitaReverb final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "zita";
    static constexpr std::string_view nodeClassName = "ZitaReverb";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 10> parameterRows{{
        {"predelay", "PreDelay", 60.0f, {10.0f, 100.0f}, ParameterUnit::generic},
        {"crossoverFrequency", "Crossover frequency", 200.0f, {50.0f, 1000.0f}, ParameterUnit::hertz},
        {"lowReleaseTime", "Low release time", 3.0f, {1.0f, 8.0f}, ParameterUnit::seconds},
        {"midReleaseTime", "Mid Release Time", 2.0f, {1.0f, 8.0f}, ParameterUnit::seconds},
        {"dampingFrequency", "Damping Frequency", 6000.0f, {1500.0f, 47040.0f}, ParameterUnit::hertz},
        {"equalizerFrequency1", "EQ Frequency 1", 315.0f, {40.0f, 2500.0f}, ParameterUnit::hertz},
        {"equalizerLevel1", "EQ Level 1", 0.0f, {-15.0f, 15.0f}, ParameterUnit::generic},
        {"equalizerFrequency2", "EQ Frequency 2", 1500.0f, {160.0f, 10000.0f}, ParameterUnit::hertz},
        {"equalizerLevel2", "EQ Level 2", 0.0f, {-15.0f, 15.0f}, ParameterUnit::generic},
        {"dryWetMix", "Dry Wet Mix", 1.0f, {0.0f, 1.0f}, ParameterUnit::percent},
    }};
    static NodeParameterDef predelayDef() { return nodeParameterDef<ZitaReverb>(0); }
    static NodeParameterDef crossoverFrequencyDef() { return nodeParameterDef<ZitaReverb>(1); }
    static NodeParameterDef lowReleaseTimeDef() { return nodeParameterDef<ZitaReverb>(2); }
    static NodeParameterDef midReleaseTimeDef() { return nodeParameterDef<ZitaReverb>(3); }
    static NodeParameterDef dampingFrequencyDef() { return nodeParameterDef<ZitaReverb>(4); }
    static NodeParameterDef equalizerFrequency1Def() { return nodeParameterDef<ZitaReverb>(5); }
    static NodeParameterDef equalizerLevel1Def() { return nodeParameterDef<ZitaReverb>(6); }
    static NodeParameterDef equalizerFrequency2Def() { return nodeParameterDef<ZitaReverb>(7); }
    static NodeParameterDef equalizerLevel2Def() { return nodeParameterDef<ZitaReverb>(8); }
    static NodeParameterDef dryWetMixDef() { return nodeParameterDef<ZitaReverb>(9); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit ZitaReverb(std::shared_ptr<Node> input, platform::AUValue predelay = predelayDef().defaultValue,
                        platform::AUValue crossoverFrequency = crossoverFrequencyDef().defaultValue,
                        platform::AUValue lowReleaseTime = lowReleaseTimeDef().defaultValue,
                        platform::AUValue midReleaseTime = midReleaseTimeDef().defaultValue,
                        platform::AUValue dampingFrequency = dampingFrequencyDef().defaultValue,
                        platform::AUValue equalizerFrequency1 = equalizerFrequency1Def().defaultValue,
                        platform::AUValue equalizerLevel1 = equalizerLevel1Def().defaultValue,
                        platform::AUValue equalizerFrequency2 = equalizerFrequency2Def().defaultValue,
                        platform::AUValue equalizerLevel2 = equalizerLevel2Def().defaultValue,
                        platform::AUValue dryWetMix = dryWetMixDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({predelay, crossoverFrequency, lowReleaseTime, midReleaseTime, dampingFrequency,
                            equalizerFrequency1, equalizerLevel1, equalizerFrequency2, equalizerLevel2,
                            dryWetMix});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(predelay, crossoverFrequency, lowReleaseTime, midReleaseTime, dampingFrequency,
                             equalizerFrequency1, equalizerLevel1, equalizerFrequency2, equalizerLevel2,
                             dryWetMix);
    }

    Parameter<float> predelay{predelayDef()};
    Parameter<float> crossoverFrequency{crossoverFrequencyDef()};
    Parameter<float> lowReleaseTime{lowReleaseTimeDef()};
    Parameter<float> midReleaseTime{midReleaseTimeDef()};
    Parameter<float> dampingFrequency{dampingFrequencyDef()};
    Parameter<float> equalizerFrequency1{equalizerFrequency1Def()};
    Parameter<float> equalizerLevel1{equalizerLevel1Def()};
    Parameter<float> equalizerFrequency2{equalizerFrequency2Def()};
    Parameter<float> equalizerLevel2{equalizerLevel2Def()};
    Parameter<float> dryWetMix{dryWetMixDef()};
};

} // namespace rozezeru
