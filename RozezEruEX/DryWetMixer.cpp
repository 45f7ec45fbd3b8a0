#include "RozezEruEX/DryWetMixer.h"

#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ExtraNodeKernels.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/ProgrammingError.h"
#include "platform/audio/AudioUnitNode.h"

#include <array>

namespace rozezeru {

namespace {

// Every mixer parameter: default 0.5 in 0 ... 1, generic unit.
NodeParameterDef dryWetDef(const char* identifier, const char* name, const char* registryName) {
    registerExtraNodeKernels();
    return {identifier, name, rzGetParameterAddress(registryName), 0.5f, {0.0f, 1.0f}};
}

std::shared_ptr<platform::AudioUnitNode> dryWetUnit(const std::shared_ptr<Node>& input1,
                                                    const std::shared_ptr<Node>& input2,
                                                    std::string_view subtype) {
    if (!input1 || !input2) stopOnProgrammingError("A dry/wet mixer needs two input nodes.");
    registerExtraNodeKernels();
    return instantiateMixer(subtype);
}

} // namespace

NodeParameterDef DryWetMixer::balanceDef() {
    static const NodeParameterDef def = dryWetDef("balance", "Balance", "DryWetMixerParameterBalance");
    return def;
}

DryWetMixer::DryWetMixer(std::shared_ptr<Node> input1, std::shared_ptr<Node> input2, float balance)
    : input1_(std::move(input1)), input2_(std::move(input2)),
      unit_(dryWetUnit(input1_, input2_, componentSubType)) {
    setupParameters();
    this->balance.setWrappedValue(balance);
}

std::shared_ptr<platform::AudioNode> DryWetMixer::avAudioNode() const {
    return unit_;
}

NodeParameterDef DryWetDualMixer::dryDef() {
    static const NodeParameterDef def = dryWetDef("dry", "Dry Mix", "DryWetDualMixerParameterDry");
    return def;
}

NodeParameterDef DryWetDualMixer::wetDef() {
    static const NodeParameterDef def = dryWetDef("wet", "Wet Mix", "DryWetDualMixerParameterWet");
    return def;
}

DryWetDualMixer::DryWetDualMixer(std::shared_ptr<Node> input1, std::shared_ptr<Node> input2, float dryAmount,
                                 float wetAmount)
    : input1_(std::move(input1)), input2_(std::move(input2)),
      unit_(dryWetUnit(input1_, input2_, componentSubType)) {
    setupParameters();
    dry.setWrappedValue(dryAmount);
    wet.setWrappedValue(wetAmount);
}

std::shared_ptr<platform::AudioNode> DryWetDualMixer::avAudioNode() const {
    return unit_;
}

} // namespace rozezeru
