#pragma once
// Making a platform audio unit from its component description, for node classes that wrap one.
// Any thread but the render thread.

#include "platform/audio/AudioComponentDescription.h"
#include "platform/audio/AudioComponentRegistry.h"

#include <memory>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

// A new node hosting a unit of the first component that matches. The descriptions are the
// program's own, so a component that is missing or makes no unit is a programming error: the
// program stops with "Unable to instantiate AVAudioUnit".
std::shared_ptr<platform::AudioUnitNode> instantiateSynchronously(
    const platform::AudioComponentDescription& description,
    const platform::AudioComponentRegistry& registry = platform::AudioComponentRegistry::shared());

} // namespace rozezeru
