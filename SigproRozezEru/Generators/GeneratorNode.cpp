#include "SigproRozezEru/Generators/GeneratorNode.h"

#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/ProgrammingError.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"
#include "platform/audio/AudioUnitNode.h"

#include <string>

namespace rozezeru {

namespace {

std::shared_ptr<platform::AudioNode> generatorNodeUnit(std::string_view subtype) {
    registerSigproRozezEru();
    return instantiateInstrument(subtype);
}

} // namespace

GeneratorNode::GeneratorNode(std::string_view subtype) : avAudioNode_(generatorNodeUnit(subtype)) {}

void GeneratorNode::setAVAudioNode(std::shared_ptr<platform::AudioNode> node) {
    if (!node) stopOnProgrammingError("A node's platform node cannot be null.");
    avAudioNode_ = std::move(node);
}

void GeneratorNode::writeInitialValues(std::initializer_list<platform::AUValue> values) {
    const auto members = parameters();
    if (members.size() != values.size())
        stopOnProgrammingError(className() + " writes " + std::to_string(values.size()) + " values to " +
                               std::to_string(members.size()) + " parameters.");
    auto value = values.begin();
    for (const auto& member : members)
        member->setValue(*value++);
}

} // namespace rozezeru
