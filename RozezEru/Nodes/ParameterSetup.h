#pragma once
// How a node lists its parameter members and builds its unit's parameter tree from them. C++ cannot
// walk an object's members, so a node names its Parameter members itself, in declaration order:
//
//   std::vector<std::shared_ptr<NodeParameter>> parameters() const { return parameterList(gain, cutoff); }
//   ...
//   setupParameters(avAudioNode, parameters());
//
// Main thread, while the node is set up.

#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEru/Nodes/Parameter.h"

#include <memory>
#include <span>
#include <type_traits>
#include <vector>

namespace platform {
class AudioNode;
} // namespace platform

namespace rozezeru {

// The NodeParameters of the given Parameter members, in the order given.
template <typename... Members>
std::vector<std::shared_ptr<NodeParameter>> parameterList(const Members&... members) {
    static_assert((std::is_base_of_v<ParameterBase, Members> && ...),
                  "parameterList takes Parameter members");
    return {members.projectedValue()...};
}

// Makes one platform parameter per NodeParameter from its definition (identifier, name, address, range,
// unit and flags; no value is written), binds the NodeParameter to `node` and that platform parameter,
// and sets a tree of them, in the order given, as the parameter tree of the node's audio unit. No
// parameters give an empty tree. A node that is not an audio-unit node stops the process.
void setupParameters(const std::shared_ptr<platform::AudioNode>& node,
                     std::span<const std::shared_ptr<NodeParameter>> parameters);

} // namespace rozezeru
