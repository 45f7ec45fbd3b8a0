#include "RozezEruEX/Fader.h"

#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ExtraNodeKernels.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/ParameterAutomation.h"
#include "RozezEruEX/ProgrammingError.h"
#include "platform/audio/AudioUnitNode.h"

#include <array>
#include <cmath>

namespace rozezeru {

namespace {

using platform::AudioUnitParameterUnit;

const std::array<NodeParameterDef, 4>& faderDefs() {
    static const std::array<NodeParameterDef, 4> defs = [] {
        registerExtraNodeKernels();
        auto def = [](const char* identifier, const char* name, const char* registryName, float value,
                      ClosedRange<float> range, AudioUnitParameterUnit unit) {
            return NodeParameterDef{identifier, name,  rzGetParameterAddress(registryName),
                                    value,      range, unit};
        };
        return std::array<NodeParameterDef, 4>{def("leftGain", "Left Gain", "FaderParameterLeftGain", 1.0f,
                                                   Fader::gainRange, AudioUnitParameterUnit::linearGain),
                                               def("rightGain", "Right Gain", "FaderParameterRightGain", 1.0f,
                                                   Fader::gainRange, AudioUnitParameterUnit::linearGain),
                                               def("flipStereo", "Flip Stereo", "FaderParameterFlipStereo",
                                                   0.0f, {0.0f, 1.0f}, AudioUnitParameterUnit::boolean),
                                               def("mixToMono", "Mix To Mono", "FaderParameterMixToMono",
                                                   0.0f, {0.0f, 1.0f}, AudioUnitParameterUnit::boolean)};
    }();
    return defs;
}

} // namespace

NodeParameterDef Fader::leftGainDef() {
    return faderDefs()[0];
}

NodeParameterDef Fader::rightGainDef() {
    return faderDefs()[1];
}

NodeParameterDef Fader::flipStereoDef() {
    return faderDefs()[2];
}

NodeParameterDef Fader::mixToMonoDef() {
    return faderDefs()[3];
}

Fader::Fader(std::shared_ptr<Node> input, float gain)
    : input_(std::move(input)), unit_((registerExtraNodeKernels(), instantiateEffect(componentSubType))) {
    if (!input_) stopOnProgrammingError("A fader needs an input node.");
    setupParameters();
    leftGain.setWrappedValue(gain);
    rightGain.setWrappedValue(gain);
    flipStereo.setWrappedValue(false);
    mixToMono.setWrappedValue(false);
    // Remembered too, so that gain() and dB() tell what the fader was made with.
    gain_ = gain;
}

std::shared_ptr<platform::AudioNode> Fader::avAudioNode() const {
    return unit_;
}

void Fader::setGain(float gain) {
    leftGain.setWrappedValue(gain);
    rightGain.setWrappedValue(gain);
    gain_ = gain;
}

float Fader::dB() const {
    return 20.0f * std::log10(gain_);
}

void Fader::setDB(float dB) {
    setGain(std::pow(10.0f, dB / 20.0f));
}

void Fader::automateGain(std::span<const AutomationEvent> events,
                         std::optional<platform::AudioTime> startTime) {
    automate(*leftGain.projectedValue(), events, startTime);
    automate(*rightGain.projectedValue(), events, startTime);
}

void Fader::stopAutomation() {
    rozezeru::stopAutomation(*leftGain.projectedValue());
    rozezeru::stopAutomation(*rightGain.projectedValue());
}

} // namespace rozezeru
