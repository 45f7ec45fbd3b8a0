#pragma once
// The parameter definitions of the effect and generator nodes, written as one table row per parameter in
// declaration order; the address of each comes from the kernel registry under the class name, "Parameter"
// and the identifier with its first letter in upper case ("HighShelfParametricEqualizerFilterParameterGain"),
// and the flags are the default set (readable, writable, can ramp). The kernels must be registered first.
// Any thread but the render thread.

#include "RozezEru/Internals/RangeMapping.h"
#include "RozezEru/Nodes/NodeParameterDef.h"
#include "platform/audio/AudioUnitTypes.h"

#include <string>
#include <string_view>

namespace rozezeru {

struct NodeParameterRow {
    std::string_view identifier;
    std::string_view name;
    platform::AUValue defaultValue = 0.0f;
    ClosedRange<float> range{0.0f, 1.0f};
    platform::AudioUnitParameterUnit unit = platform::AudioUnitParameterUnit::generic;
};

// "<className>Parameter<Identifier>".
std::string parameterRegistryName(std::string_view className, std::string_view identifier);

NodeParameterDef makeNodeParameterDef(std::string_view className, const NodeParameterRow& row);

} // namespace rozezeru
