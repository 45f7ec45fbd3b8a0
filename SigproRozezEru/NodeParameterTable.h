#pragma once
// The parameter definitions of the effect and generator nodes, written as one table row per parameter in
// declaration order; the address of each comes from the kernel registry under the class name, "Parameter"
// and the identifier with its first letter in upper case ("HighShelfParametricEqualizerFilterParameterGain"),
// and the flags are the default set (readable, writable, can ramp). The kernels must be registered first.
// Any thread but the render thread.
//
// A node class keeps its table beside its code, as `nodeClassName` and `parameterRows`; registering the
// node classes checks each table against its kernel's parameter names, so the two cannot drift apart.

#include "RozezEru/Internals/RangeMapping.h"
#include "RozezEru/Nodes/NodeParameterDef.h"
#include "platform/audio/AudioUnitTypes.h"

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rozezeru {

using ParameterUnit = platform::AudioUnitParameterUnit;

struct NodeParameterRow {
    std::string_view identifier;
    std::string_view name;
    platform::AUValue defaultValue = 0.0f;
    ClosedRange<float> range{0.0f, 1.0f};
    ParameterUnit unit = ParameterUnit::generic;
};

// Identifiers are ASCII; the locale must not change how they are spelt.
constexpr char upperCaseInitial(char letter) {
    return letter >= 'a' && letter <= 'z' ? char(letter - 'a' + 'A') : letter;
}

// "<className>Parameter<Identifier>".
std::string parameterRegistryName(std::string_view className, std::string_view identifier);

NodeParameterDef makeNodeParameterDef(std::string_view className, const NodeParameterRow& row);
// One definition per row, in order; registers the node classes first.
std::vector<NodeParameterDef> makeNodeParameterDefs(std::string_view className,
                                                    std::span<const NodeParameterRow> rows);

// Definition `index` of NodeClass's table, all of them made once, on first use from any thread; each call
// returns a copy.
template <class NodeClass> NodeParameterDef nodeParameterDef(std::size_t index) {
    static const std::vector<NodeParameterDef> defs =
        makeNodeParameterDefs(NodeClass::nodeClassName, NodeClass::parameterRows);
    return defs[index];
}

} // namespace rozezeru
