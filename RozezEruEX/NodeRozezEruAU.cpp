#include "RozezEruEX/NodeRozezEruAU.h"

#include "RozezEru/Nodes/Node.h"
#include "RozezEruEX/ProgrammingError.h"
#include "RozezEruEX/RozezEruAU.h"
#include "platform/audio/AudioUnitNode.h"

#include <string>

namespace rozezeru {

namespace {

constexpr std::uint8_t gateNote = 64;
constexpr std::uint8_t gateOpenVelocity = 127;

// The mixins are meant for Node subclasses only; anything else is a programming error.
Node& nodeOfMixin(Node* node, const char* what) {
    if (!node) stopOnProgrammingError(std::string(what) + " is adopted by a class that is not a Node.");
    return *node;
}

} // namespace

RozezEruAU& rozezEruAU(const Node& node) {
    auto* unitNode = dynamic_cast<platform::AudioUnitNode*>(node.avAudioNode().get());
    auto* unit = unitNode ? dynamic_cast<RozezEruAU*>(&unitNode->auAudioUnit()) : nullptr;
    if (!unit) stopOnProgrammingError("Wrong audio unit type.");
    return *unit;
}

void Gated::openGate() {
    rozezEruAU(nodeOfMixin(dynamic_cast<Node*>(this), "Gated")).trigger(gateNote, gateOpenVelocity);
}

void Gated::closeGate() {
    rozezEruAU(nodeOfMixin(dynamic_cast<Node*>(this), "Gated")).trigger(gateNote, 0);
}

void Triggerable::trigger() {
    rozezEruAU(nodeOfMixin(dynamic_cast<Node*>(this), "Triggerable")).trigger(gateNote, gateOpenVelocity);
}

void MIDITriggerable::trigger(std::uint8_t note, std::uint8_t velocity) {
    Node& node = nodeOfMixin(dynamic_cast<Node*>(this), "MIDITriggerable");
    node.start();
    rozezEruAU(node).trigger(note, velocity);
}

} // namespace rozezeru
