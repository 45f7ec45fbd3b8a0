#pragma once
// Picks the audio device the engine plays through when it is given none; called on the main thread.

#include "platform/audio/AudioDevice.h"

#include <memory>

namespace platform {

// The environment variable that forces the null device when set to "null".
inline constexpr const char* audioDeviceEnvironmentVariable = "VANTLE_AUDIO_DEVICE";

// The engine's choice: ALSA "default" when it opens, else the null device pacing itself in real time
// (always the null device when VANTLE_AUDIO_DEVICE is "null").
std::unique_ptr<AudioDevice> makeDefaultOutputDevice();

} // namespace platform
