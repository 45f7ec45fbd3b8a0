#include "SigproRozezEru/Effects/EffectNode.h"

#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/ProgrammingError.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"
#include "platform/audio/AudioUnitNode.h"

#include <string>

namespace rozezeru {

namespace {

std::shared_ptr<platform::AudioNode> effectNodeUnit(std::string_view subtype) {
    registerSigproRozezEru();
    return instantiateEffect(subtype);
}

} // namespace

EffectNode::EffectNode(std::shared_ptr<Node> input, std::string_view subtype)
    : avAudioNode_(effectNodeUnit(subtype)), input_(std::move(input)) {
    if (!input_) stopOnProgrammingError("An effect node needs an input node.");
}

void EffectNode::setAVAudioNode(std::shared_ptr<platform::AudioNode> node) {
    if (!node) stopOnProgrammingError("A node's platform node cannot be null.");
    avAudioNode_ = std::move(node);
}

void EffectNode::writeInitialValues(std::initializer_list<platform::AUValue> values) {
    const auto members = parameters();
    if (members.size() != values.size())
        stopOnProgrammingError(className() + " writes " + std::to_string(values.size()) + " values to " +
                               std::to_string(members.size()) + " parameters.");
    auto value = values.begin();
    for (const auto& member : members)
        member->setValue(*value++);
}

} // namespace rozezeru
