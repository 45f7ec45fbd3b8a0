#pragma once
// The parameter definitions of the node wrappers around the platform's own effect units, and the
// component each wrapper creates. Every definition has the flags readable, writable and can-ramp, and
// its address is the platform unit's own. Constant tables built on first use; any thread.

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "platform/audio/AudioComponentDescription.h"

#include <string_view>
#include <vector>

namespace rozezeru {

enum class PlatformEffect {
    delay,
    decimator,
    distortion,
    ringModulator,
    compressor,
    dynamicsProcessor,
    expander,
    peakLimiter,
    bandPassFilter,
    highPassFilter,
    highShelfFilter,
    lowPassFilter,
    lowShelfFilter,
    parametricEQ,
};

// Type 'aufx', the wrapper's subtype, manufacturer 'appl', no flags.
platform::AudioComponentDescription platformEffectDescription(PlatformEffect effect);

// The wrapper's parameter definitions in its declaration order.
const std::vector<NodeParameterDef>& platformEffectParameterDefs(PlatformEffect effect);

// The wrapper's definition with this identifier; an identifier it lacks is a programming error and stops
// the process.
const NodeParameterDef& platformEffectParameterDef(PlatformEffect effect, std::string_view identifier);

} // namespace rozezeru
