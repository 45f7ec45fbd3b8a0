#include "RozezEru/Nodes/Node.h"

#include "RozezEru/Internals/EngineConnections.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/EnvironmentNode.h"
#include "platform/audio/MixerNode.h"

#include <algorithm>
#include <cstdlib>
#include <cxxabi.h>
#include <mutex>
#include <typeinfo>
#include <unordered_map>
#include <unordered_set>

namespace rozezeru {

namespace {

// Labels live beside the nodes rather than in them so that any node class can carry one. A node
// may be destroyed on another thread than the one that labels, hence the lock.
struct NodeLabelTable {
    std::mutex mutex;
    std::unordered_map<const Node*, std::string> labels;
};

NodeLabelTable& nodeLabelTable() {
    static NodeLabelTable table;
    return table;
}

std::string nodeDemangledTypeName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return status == 0 && demangled ? std::string(demangled.get()) : std::string(type.name());
}

// The last piece of a qualified name, cut at "::" and ".".
std::string nodeLastNamePiece(const std::string& qualified) {
    const auto cut = qualified.find_last_of(".:");
    return cut == std::string::npos ? qualified : qualified.substr(cut + 1);
}

std::string nodeDotKey(const Node& node) {
    std::string key = node.className();
    key += '_';
    key += MemoryAddress::addressString(&node);
    return key;
}

void nodeDotVisit(const Node& node, std::unordered_set<const Node*>& visited, std::string& text) {
    if (!visited.insert(&node).second) return;
    const std::string key = nodeDotKey(node);
    if (const std::string label = node.label(); !label.empty()) {
        text += "  ";
        text += key;
        text += " [label=\"";
        text += label;
        text += "\"];\n";
    }
    for (const auto& input : node.connections()) {
        text += "  ";
        text += nodeDotKey(*input);
        text += " -> ";
        text += key;
        text += ";\n";
        nodeDotVisit(*input, visited, text);
    }
}

void nodeTreeLines(const Node& node, std::size_t depth, std::string& text) {
    text += connectionTreeLinePrefix;
    text.append(depth, ' ');
    text += "↳";
    std::string title = nodeLastNamePiece(node.description());
    text += title.empty() ? "Unknown" : title;
    if (const auto* named = dynamic_cast<const NamedNode*>(&node)) {
        text += "(\"";
        text += named->name();
        text += "\")";
    }
    text += '\n';
    for (const auto& input : node.connections())
        nodeTreeLines(*input, depth + 1, text);
}

} // namespace

// Made before any node, the label table outlives them all, static ones included.
Node::Node() {
    (void)nodeLabelTable();
}

Node::~Node() {
    auto& table = nodeLabelTable();
    std::lock_guard lock(table.mutex);
    table.labels.erase(this);
}

platform::AudioUnit* Node::auAudioUnit() const {
    auto* unitNode = dynamic_cast<platform::AudioUnitNode*>(avAudioNode().get());
    return unitNode ? &unitNode->auAudioUnit() : nullptr;
}

void Node::start() {
    if (auto* unit = auAudioUnit()) unit->setShouldBypassEffect(false);
}

void Node::stop() {
    if (auto* unit = auAudioUnit()) unit->setShouldBypassEffect(true);
}

void Node::bypass() {
    if (auto* unit = auAudioUnit()) unit->setShouldBypassEffect(true);
}

bool Node::isStarted() const {
    const auto* unit = auAudioUnit();
    return !unit || !unit->shouldBypassEffect();
}

platform::AudioFormat Node::outputFormat() const {
    return Settings::audioFormat();
}

std::string Node::description() const {
    return nodeDemangledTypeName(typeid(*this));
}

std::string Node::className() const {
    return nodeLastNamePiece(nodeDemangledTypeName(typeid(*this)));
}

void Node::makeAVConnections() {
    makeAVConnections(connections());
}

void Node::makeAVConnections(const std::vector<std::shared_ptr<Node>>& inputs) {
    if (auto* internal = dynamic_cast<HasInternalConnections*>(this)) internal->makeInternalConnections();

    const auto self = avAudioNode();
    platform::AudioEngine* engine = self->engine();
    if (!engine || inputs.empty()) return;

    for (std::size_t index = 0; index < inputs.size(); ++index) {
        const auto& input = inputs[index];
        const auto inputNode = input->avAudioNode();
        if (inputNode->engine() && inputNode->engine() != self->engine()) {
            Log(LogSite("makeAVConnections(for:)"),
                "🛑 Error: Attempt to connect nodes from different engines.");
            return;
        }
        // Attaching an attached node does nothing; a refusal shows as a missing connection.
        (void)engine->attach(inputNode);

        if (auto* mixer = dynamic_cast<platform::MixerNode*>(self.get())) {
            addMixerConnection(*mixer, *inputNode, input->outputFormat());
            // A mixer's volume waits in the object until the mixer is wired.
            if (const auto volume = volumeWhenWired()) mixer->setOutputVolume(*volume);
        } else if (auto* environment = dynamic_cast<platform::EnvironmentNode*>(self.get());
                   environment && input->joinsEnvironmentInMono() &&
                   dynamic_cast<platform::MixerNode*>(inputNode.get())) {
            connectMixer3D(*environment, static_cast<platform::MixerNode&>(*inputNode),
                           input->outputFormat());
        } else {
            addConnection(*self, *inputNode, static_cast<std::uint32_t>(index), input->outputFormat());
        }
        input->makeAVConnections();
    }
}

void Node::detach() {
    const auto self = avAudioNode();
    if (auto* engine = self->engine()) engine->detach(*self);
    for (const auto& input : connections())
        input->detach();
}

void Node::disconnect(Node& input) {
    const auto self = avAudioNode();
    platform::AudioEngine* engine = self->engine();
    if (!engine) return;
    const auto inputNode = input.avAudioNode();
    const auto points = engine->outputConnectionPoints(*inputNode, 0);
    const bool feedsOthers =
        std::any_of(points.begin(), points.end(),
                    [&](const platform::AudioConnectionPoint& point) { return point.node != self.get(); });
    if (feedsOthers) {
        removeConnection(*self, *inputNode, input.outputFormat());
        return;
    }
    for (const auto& upstream : input.connections())
        input.disconnect(*upstream);
    engine->detach(*inputNode);
}

void Node::disconnectInputs() {
    const auto self = avAudioNode();
    platform::AudioEngine* engine = self->engine();
    if (!engine) return;
    engine->disconnectNodeInput(*self);
    for (const auto& input : connections())
        input->disconnectInputs();
}

void Node::primeLastRenderTime() {
    (void)avAudioNode()->lastRenderTime();
    for (const auto& input : connections())
        input->primeLastRenderTime();
}

void Node::reset() {
    if (auto* unitNode = dynamic_cast<platform::AudioUnitNode*>(avAudioNode().get())) unitNode->reset();
}

void Node::scheduleMIDIEvent(std::span<const std::uint8_t> data, std::uint64_t offset) {
    auto* unit = auAudioUnit();
    if (!unit || !unit->acceptsMIDIEvents() || offset >= (std::uint64_t(1) << 63)) return;
    (void)unit->scheduleMIDIEvent(platform::AUEventSampleTimeImmediate + static_cast<std::int64_t>(offset), 0,
                                  data);
}

std::vector<std::shared_ptr<NodeParameter>> Node::parameters() const {
    return {};
}

void Node::setupParameters() {
    rozezeru::setupParameters(avAudioNode(), parameters());
}

std::string Node::label() const {
    auto& table = nodeLabelTable();
    std::lock_guard lock(table.mutex);
    const auto found = table.labels.find(this);
    return found == table.labels.end() ? std::string() : found->second;
}

void Node::setLabel(const std::string& label) {
    auto& table = nodeLabelTable();
    std::lock_guard lock(table.mutex);
    table.labels[this] = label;
}

std::string Node::dotGraph() const {
    std::string text = "digraph patch {\n  graph [rankdir = \"LR\"];\n";
    std::unordered_set<const Node*> visited;
    nodeDotVisit(*this, visited, text);
    text += "}";
    return text;
}

std::string Node::connectionTreeText() const {
    std::string text;
    nodeTreeLines(*this, 0, text);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

} // namespace rozezeru
