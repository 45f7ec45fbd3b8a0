#pragma once
// How a kernel-hosting node gets its audio unit: the description (the given type, the kernel's code as
// subtype, manufacturer 'RoRo', flags 2, mask 0) is registered for RozezEruAU and instantiated at once, so
// a node's constructor can use the unit as soon as the call returns. Every call registers again and makes
// a unit with a kernel of its own. The kernel must be registered first (registerSigproKernels() and the
// like); a subtype that is not four bytes long, or one without a kernel, is a programming error that stops
// the program. Main thread, or whichever thread configures the nodes.

#include "platform/audio/AudioComponentDescription.h"

#include <memory>
#include <string_view>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

// Registers RozezEruAU for `description` and instantiates it.
std::shared_ptr<platform::AudioUnitNode> instantiate(const platform::AudioComponentDescription& description);

// Type 'aumf': the effect nodes.
std::shared_ptr<platform::AudioUnitNode> instantiateEffect(std::string_view subtype);
// Type 'aumu': the generator nodes.
std::shared_ptr<platform::AudioUnitNode> instantiateInstrument(std::string_view subtype);
// Type 'aumx'.
std::shared_ptr<platform::AudioUnitNode> instantiateMixer(std::string_view subtype);
// Type 'augn'.
std::shared_ptr<platform::AudioUnitNode> instantiateGenerator(std::string_view subtype);

} // namespace rozezeru
