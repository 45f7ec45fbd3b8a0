#include "RozezEru/Nodes/Effects/Reverb.h"

#include "RozezEru/Nodes/NodeParameter.h"
#include "platform/audio/AudioUnitNode.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

namespace {

// At or below 0 gives 0 (not-a-number too, so the unit never receives it), above 1 gives 1.
float reverbMix(float mix) {
    return mix > 0.0f ? std::min(mix, 1.0f) : 0.0f;
}

} // namespace

Reverb::Reverb(std::shared_ptr<Node> input, float dryWetMix)
    : input_(std::move(input)),
      unit_(std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::ReverbUnit>())),
      avAudioNode_(unit_), dryWetMix_(reverbMix(dryWetMix)) {
    if (!input_) nodeParameterFailure("A reverb node needs an input node.");
    reverbAU().setWetDryMix(dryWetMix_ * 100.0f);
}

Reverb::~Reverb() = default;

void Reverb::setAVAudioNode(std::shared_ptr<platform::AudioNode> node) {
    if (!node) nodeParameterFailure("A node's platform node cannot be null.");
    avAudioNode_ = std::move(node);
}

platform::ReverbUnit& Reverb::reverbAU() const {
    return static_cast<platform::ReverbUnit&>(unit_->auAudioUnit());
}

void Reverb::setDryWetMix(float mix) {
    dryWetMix_ = reverbMix(mix);
    reverbAU().setWetDryMix(dryWetMix_ * 100.0f);
}

void Reverb::start() {
    isStarted_ = true;
    reverbAU().setWetDryMix(dryWetMix_ * 100.0f);
}

void Reverb::stop() {
    isStarted_ = false;
    reverbAU().setWetDryMix(0.0f);
}

void Reverb::loadFactoryPreset(platform::ReverbPreset preset) {
    reverbAU().loadFactoryPreset(preset);
}

} // namespace rozezeru
