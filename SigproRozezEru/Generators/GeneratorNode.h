#pragma once
// The base of the generator nodes: no input and one kernel-hosting unit of type 'aumu' (a music device,
// so it takes notes) made for the class's kernel code. A subclass keeps its parameter table
// (NodeParameterTable.h) as `nodeClassName` and `parameterRows` and declares and lists its Parameter
// members like an effect; in its constructor it calls setupParameters(), then, unless it is meant to sound
// at once, stop() (a new generator starts bypassed, rendering silence), then hands the kernel its
// wavetables, and last writes its initial values. Main thread.

#include "RozezEru/Nodes/Node.h"
#include "platform/audio/AudioUnitTypes.h"

#include <initializer_list>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class GeneratorNode : public Node {
public:
    // Always empty.
    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return avAudioNode_; }
    // Replaces the platform node (never null); parameters stay bound to the old one.
    void setAVAudioNode(std::shared_ptr<platform::AudioNode> node);

protected:
    // Registers the node classes (registerSigproRozezEru) and instantiates the unit for `subtype`.
    explicit GeneratorNode(std::string_view subtype);

    // One value per parameter, in the order of parameters(), each written (clamped) to its unit
    // parameter; another count is a programming error that stops the program.
    void writeInitialValues(std::initializer_list<platform::AUValue> values);

private:
    std::shared_ptr<platform::AudioNode> avAudioNode_;
};

} // namespace rozezeru
