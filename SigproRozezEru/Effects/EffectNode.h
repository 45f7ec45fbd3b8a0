#pragma once
// The base of the effect nodes: one input node and one kernel-hosting unit of type 'aumf' made for the
// class's kernel code. A subclass keeps its parameter table (NodeParameterTable.h) as `nodeClassName` and
// `parameterRows`, declares one Parameter member per row, lists them in parameters(), and in its
// constructor calls setupParameters(), hands the kernel any setting outside the parameter tree, and then
// writes its initial values. An effect starts unbypassed; stop() and bypass() pass the input through
// unchanged, start() undoes that. The constructor makes no connection: the engine's wiring reads
// connections(). Main thread.

#include "RozezEru/Nodes/Node.h"
#include "platform/audio/AudioUnitTypes.h"

#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class EffectNode : public Node {
public:
    // Exactly one element: the input.
    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return avAudioNode_; }
    // Replaces the platform node (never null); parameters stay bound to the old one.
    void setAVAudioNode(std::shared_ptr<platform::AudioNode> node);

    const std::shared_ptr<Node>& input() const { return input_; }

protected:
    // Registers the node classes (registerSigproRozezEru) and instantiates the unit for `subtype`. A null
    // input stops the program.
    EffectNode(std::shared_ptr<Node> input, std::string_view subtype);

    // One value per parameter, in the order of parameters(), each written (clamped) to its unit
    // parameter; another count is a programming error that stops the program.
    void writeInitialValues(std::initializer_list<platform::AUValue> values);

private:
    std::shared_ptr<platform::AudioNode> avAudioNode_;
    const std::shared_ptr<Node> input_;
};

} // namespace rozezeru
