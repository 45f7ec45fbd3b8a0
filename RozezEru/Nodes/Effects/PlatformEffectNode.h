#pragma once
// The base of the nodes that wrap one of the platform's parameter-bound effect units: one input, the
// unit, and one Parameter member per unit parameter, bound to the unit's own parameter at the address of
// its definition (PlatformEffectParameterDefs.h). Writes clamp to the unit's ranges. A subclass declares
// its members, lists them in parameters(), and in its constructor calls bindParameters() and then
// setInitialValues(). start(), stop() and bypass() work through the unit's bypass flag. Main thread.

#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEru/Nodes/PlatformEffectParameterDefs.h"

#include <initializer_list>
#include <memory>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class PlatformEffectNode : public Node {
public:
    ~PlatformEffectNode() override;

    // Exactly one element: the input.
    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    const std::shared_ptr<Node>& input() const { return input_; }

protected:
    // A new unit of `effect`'s component; a missing component stops the program ("Unable to instantiate
    // AVAudioUnit"), as does a null input.
    PlatformEffectNode(std::shared_ptr<Node> input, PlatformEffect effect);
    // `unit` made by the subclass.
    PlatformEffectNode(std::shared_ptr<Node> input, std::shared_ptr<platform::AudioUnitNode> unit);

    // The definition of `effect` with this identifier.
    static const NodeParameterDef& def(PlatformEffect effect, std::string_view identifier) {
        return platformEffectParameterDef(effect, identifier);
    }

    // Binds each of parameters() to the unit's parameter at its definition's address.
    void bindParameters();
    // One value per parameter, in the order of parameters(), each written through the parameter (clamped to
    // the unit's range); another count is a programming error that stops the program.
    void setInitialValues(std::initializer_list<float> values);
    // Writes straight to the unit's parameter at `address` (global scope, element 0); a refusal is ignored.
    void writeUnitParameter(platform::AUParameterAddress address, float value);
    // The value of entry `index` of the unit's parameter list; 0 without a tree or that many entries.
    float unitParameterAt(std::size_t index) const;

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

} // namespace rozezeru
