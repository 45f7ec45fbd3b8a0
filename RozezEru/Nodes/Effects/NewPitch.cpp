#include "RozezEru/Nodes/Effects/NewPitch.h"

#include "RozezEru/Internals/AudioUnitHelpers.h"
#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEru/Nodes/NodeParameter.h"
#include "platform/audio/AudioUnitNode.h"

namespace rozezeru {

namespace {

constexpr platform::AudioUnitParameterID newPitchParameter = 1;

} // namespace

NewPitch::NewPitch(std::shared_ptr<Node> input)
    : input_(std::move(input)),
      pitchUnit_(instantiateSynchronously(componentDescription::appleEffect(fourCC("nutp")))) {
    if (!input_) nodeParameterFailure("A pitch node needs an input node.");
}

NewPitch::~NewPitch() = default;

std::shared_ptr<platform::AudioNode> NewPitch::avAudioNode() const {
    return pitchUnit_;
}

float NewPitch::pitch() const {
    return pitchUnit_->auAudioUnit()
        .getParameter(newPitchParameter, platform::AudioUnitScope::global, 0)
        .valueOr(0.0f);
}

void NewPitch::setPitch(float cents) {
    (void)pitchUnit_->auAudioUnit().setParameter(newPitchParameter, platform::AudioUnitScope::global, 0,
                                                 cents);
}

} // namespace rozezeru
