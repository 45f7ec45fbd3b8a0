#include "RozezEru/Nodes/Effects/PlatformDistortion.h"

#include "RozezEru/Nodes/NodeParameter.h"
#include "platform/audio/AudioUnitNode.h"

namespace rozezeru {

PlatformDistortion::PlatformDistortion(std::shared_ptr<Node> input, float dryWetMix, float preGain)
    : input_(std::move(input)),
      unit_(std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::DistortionUnit>())),
      avAudioNode_(unit_), dryWetMix_(dryWetMix), preGain_(preGain) {
    if (!input_) nodeParameterFailure("A platform distortion node needs an input node.");
    distAU().setPreGain(preGain);
    distAU().setWetDryMix(dryWetMix);
}

PlatformDistortion::~PlatformDistortion() = default;

void PlatformDistortion::setAVAudioNode(std::shared_ptr<platform::AudioNode> node) {
    if (!node) nodeParameterFailure("A node's platform node cannot be null.");
    avAudioNode_ = std::move(node);
}

platform::DistortionUnit& PlatformDistortion::distAU() const {
    return static_cast<platform::DistortionUnit&>(unit_->auAudioUnit());
}

void PlatformDistortion::setDryWetMix(float percent) {
    dryWetMix_ = percent;
    distAU().setWetDryMix(percent);
}

void PlatformDistortion::setPreGain(float decibels) {
    preGain_ = decibels;
    distAU().setPreGain(decibels);
}

void PlatformDistortion::loadFactoryPreset(platform::DistortionPreset preset) {
    distAU().loadFactoryPreset(preset);
}

} // namespace rozezeru
