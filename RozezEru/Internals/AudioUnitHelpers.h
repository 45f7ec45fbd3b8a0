#pragma once
// Making a platform audio unit from its component description, for node classes that wrap one, and
// finding a unit's parameter by key. Any thread but the render thread.

#include "platform/audio/AudioComponentDescription.h"
#include "platform/audio/AudioComponentRegistry.h"

#include <memory>
#include <string_view>

namespace platform {
class AUParameter;
class AUParameterTree;
class AudioUnit;
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

// A new node hosting a unit of the first component that matches. The descriptions are the
// program's own, so a component that is missing or makes no unit is a programming error: the
// program stops with "Unable to instantiate AVAudioUnit".
std::shared_ptr<platform::AudioUnitNode> instantiateSynchronously(
    const platform::AudioComponentDescription& description,
    const platform::AudioComponentRegistry& registry = platform::AudioComponentRegistry::shared());

// The parameter a tree holds under the key, its identifier; null when there is none. The unit's
// form asks the unit's tree (null without one).
std::shared_ptr<platform::AUParameter> parameter(const platform::AUParameterTree& receiver,
                                                 std::string_view key);
std::shared_ptr<platform::AUParameter> parameter(const platform::AudioUnit& receiver, std::string_view key);

} // namespace rozezeru
