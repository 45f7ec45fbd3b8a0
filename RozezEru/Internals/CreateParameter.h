#pragma once
// Making a platform parameter for a unit's parameter tree, with the toolkit's default flags. Any
// thread but the render thread.

#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "platform/audio/AUParameter.h"

#include <memory>
#include <string>

namespace rozezeru {

// A new parameter (no unit name, value strings or dependent parameters); its value starts at `min`.
std::shared_ptr<platform::AUParameter>
createParameter(std::string identifier, std::string name, platform::AUParameterAddress address,
                platform::AUValue min, platform::AUValue max, platform::AudioUnitParameterUnit unit,
                AudioUnitParameterOptions::RawValue flags = AudioUnitParameterOptions::default_);

} // namespace rozezeru
