#pragma once
// The base of every node of the toolkit, and how a graph of nodes is wired into an engine.
//
// A node stands for exactly one platform node and lists the nodes that feed it (position i feeds
// input bus i, except into mixers, which pick their next free bus, and a Mixer3D into an environment
// node, which joins it on its next free bus in mono). The graph is described by these
// lists alone: nothing is attached to an engine until the engine's output is set or a mixer gains an
// input, and then makeAVConnections() attaches and connects the whole upstream chain.
//
// Nodes are shared (std::shared_ptr) and compared by identity. Every member is for the thread that
// configures the engine (the main thread); a node may be destroyed on any thread.

#include "platform/audio/AudioFormat.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class AudioNode;
class AudioUnit;
} // namespace platform

namespace rozezeru {

class NodeParameter;

// The prefix of every line of the graph's tree text.
inline constexpr std::string_view connectionTreeLinePrefix = "RozezEru | ";

// How a mixer takes an input out: `recursive` cuts it off (and out of the engine with its
// exclusive inputs when it fed nothing else), `detach` takes it and its whole upstream chain out.
enum class DisconnectStrategy { recursive = 0, detach = 1 };

class Node {
public:
    virtual ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // The inputs, in bus order.
    virtual std::vector<std::shared_ptr<Node>> connections() const = 0;
    // The platform node this node stands for; never null.
    virtual std::shared_ptr<platform::AudioNode> avAudioNode() const = 0;

    // Through the bypass flag of the platform node's audio unit (nothing for a node without one).
    virtual void start();
    virtual void stop();
    virtual void bypass();
    // Whether the unit is not bypassed; true for a node without a unit.
    virtual bool isStarted() const;
    // The format this node's output is connected in: Settings::audioFormat() at the time of asking.
    virtual platform::AudioFormat outputFormat() const;

    // The text the tree text shows for this node, cut to its last "::" or "." piece: by default the
    // class name with its namespaces.
    virtual std::string description() const;

    // Attaches `inputs` (or connections()) and everything upstream of them into the engine of this
    // node's platform node and connects them, depth first. A node with internal connections makes
    // them first, even without an engine. An input attached to another engine is logged ("🛑 Error:
    // Attempt to connect nodes from different engines.") and ends the wiring there.
    void makeAVConnections();
    void makeAVConnections(const std::vector<std::shared_ptr<Node>>& inputs);

    // Takes the platform node out of its engine, then does the same for every input, recursively
    // (also when this node has no engine).
    void detach();
    // Cuts `input` off this node. When it fed nothing else it leaves the engine, after its own inputs
    // that fed only it were taken out the same way; otherwise only this one connection goes.
    void disconnect(Node& input);
    // Breaks every input bus connection of this node and, recursively, of its inputs.
    void disconnectInputs();
    // Asks every platform node upstream for its last render time (an offline run starts clean).
    void primeLastRenderTime();
    // Resets the node's audio unit; nothing for a node without one.
    void reset();
    // Sends one MIDI message (one to three bytes) to the node's audio unit, `offset` frames into the
    // next render cycle. Nothing happens for a unit that takes no MIDI, or an offset of 2^63 or more.
    void scheduleMIDIEvent(std::span<const std::uint8_t> data, std::uint64_t offset = 0);

    // The node's parameter members in declaration order; a node class with parameters lists them
    // with parameterList() (ParameterSetup.h). None by default.
    virtual std::vector<std::shared_ptr<NodeParameter>> parameters() const;
    // Builds the audio unit's parameter tree from parameters() and binds each of them to its new
    // platform parameter; no value is written. Node classes hosting a unit call it in their
    // constructor once the unit and the parameter members exist.
    void setupParameters();

    // A label for the DOT text; "" when none was set. Dropped when the node is destroyed.
    std::string label() const;
    void setLabel(const std::string& label);

    // The DOT digraph of this node and everything upstream of it.
    std::string dotGraph() const;
    // One line per node, depth first, each input one blank deeper than its consumer, no line end
    // after the last: "RozezEru | ↳Mixer(\"main\")".
    std::string connectionTreeText() const;

    // The class name without namespaces ("Mixer").
    std::string className() const;

protected:
    Node();

    // The audio unit behind the platform node, or null when it is not a unit.
    platform::AudioUnit* auAudioUnit() const;

    // The volume this node's platform mixer is given when makeAVConnections() wires an input into
    // it; nothing (the default) leaves the mixer's volume alone. A Mixer keeps its volume until then.
    virtual std::optional<float> volumeWhenWired() const { return std::nullopt; }
    // Whether this node joins an environment node it feeds on the next free bus in mono rather
    // than on its bus in the list (a Mixer3D); false by default.
    virtual bool joinsEnvironmentInMono() const { return false; }
};

// A node with a display name, shown in the tree text. Mixed into Node subclasses.
class NamedNode {
public:
    virtual std::string name() const = 0;
    virtual void setName(const std::string& name) = 0;

protected:
    ~NamedNode() = default;
};

// A node whose platform node is fed by further platform nodes of its own (a player's node pair).
// Mixed into Node subclasses; makeAVConnections() calls it first.
class HasInternalConnections {
public:
    virtual void makeInternalConnections() = 0;

protected:
    ~HasInternalConnections() = default;
};

} // namespace rozezeru
