#pragma once
// The static definition of a node parameter: what its platform parameter is made from. A plain
// value; any thread.

#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEru/Internals/RangeMapping.h"
#include "platform/audio/AudioUnitTypes.h"

#include <string>

namespace rozezeru {

struct NodeParameterDef {
    // The platform parameter's identifier ("centerFrequency").
    std::string identifier;
    // Display name ("Corner Frequency").
    std::string name;
    // The parameter's address in its unit; it must fit in 32 bits, as it doubles as the parameter ID.
    platform::AUParameterAddress address = 0;
    // Not used when a parameter tree is built.
    platform::AUValue defaultValue = 0.0f;
    // Becomes the platform parameter's minimum and maximum.
    ClosedRange<float> range{0.0f, 1.0f};
    platform::AudioUnitParameterUnit unit = platform::AudioUnitParameterUnit::generic;
    AudioUnitParameterOptions::RawValue flags = AudioUnitParameterOptions::default_;
};

} // namespace rozezeru
