#include "RozezEru/Nodes/Effects/PlatformEffectNode.h"

#include "RozezEru/Internals/AudioUnitHelpers.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnitNode.h"

#include <string>

namespace rozezeru {

PlatformEffectNode::PlatformEffectNode(std::shared_ptr<Node> input, PlatformEffect effect)
    : PlatformEffectNode(std::move(input), instantiateSynchronously(platformEffectDescription(effect))) {}

PlatformEffectNode::PlatformEffectNode(std::shared_ptr<Node> input,
                                       std::shared_ptr<platform::AudioUnitNode> unit)
    : input_(std::move(input)), unit_(std::move(unit)) {
    if (!input_) nodeParameterFailure("A platform effect node needs an input node.");
}

PlatformEffectNode::~PlatformEffectNode() = default;

std::shared_ptr<platform::AudioNode> PlatformEffectNode::avAudioNode() const {
    return unit_;
}

void PlatformEffectNode::bindParameters() {
    for (const auto& parameter : parameters())
        parameter->bind(unit_);
}

void PlatformEffectNode::setInitialValues(std::initializer_list<float> values) {
    const auto members = parameters();
    if (members.size() != values.size())
        nodeParameterFailure(className() + " sets " + std::to_string(values.size()) + " values on " +
                             std::to_string(members.size()) + " parameters.");
    auto value = values.begin();
    for (const auto& member : members)
        member->setValue(*value++);
}

void PlatformEffectNode::writeUnitParameter(platform::AUParameterAddress address, float value) {
    (void)unit_->auAudioUnit().setParameter(std::uint32_t(address), platform::AudioUnitScope::global, 0,
                                            value);
}

float PlatformEffectNode::unitParameterAt(std::size_t index) const {
    const auto tree = unit_->auAudioUnit().parameterTree();
    if (!tree || index >= tree->allParameters().size()) return 0.0f;
    return tree->allParameters()[index]->value();
}

} // namespace rozezeru
