#include "SigproRozezEru/Generators/GeneratorNode.h"

#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/ProgrammingError.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"
#include "platform/audio/AudioUnitNode.h"

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

} // namespace rozezeru
