#pragma once
// The device a platform engine plays through, read and changed by identifier. Main thread (the
// thread that configures the engine).

#include "RozezEru/Internals/DeviceUtils.h"

namespace platform {
class AudioEngine;
} // namespace platform

namespace rozezeru {

// The identifier of the engine's output device; 0 for a device that is in no device list (the
// null device).
AudioDeviceID getDevice(platform::AudioEngine& engine);

// Makes the listed device the engine's output device; a running engine goes on playing through it.
// The current device is kept as it is. A device that cannot be opened, or an engine that cannot
// restart on it, is logged ("setDevice error:  <code>") and nothing else happens.
void setDevice(platform::AudioEngine& engine, AudioDeviceID deviceID,
               platform::AudioDeviceList& list = DeviceUtils::systemDeviceList());

} // namespace rozezeru
