#pragma once
// Queries of the system's audio devices: the device list, a device's name and its channel counts.
// Each call asks the device list anew; failures are absorbed (an empty list with one log record,
// an empty name, a count of 0). Any one thread at a time, not the render thread.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class AudioDeviceList;
} // namespace platform

namespace rozezeru {

using AudioDeviceID = std::uint32_t;

class DeviceUtils {
public:
    enum class Scope { input, output };

    DeviceUtils() = delete;

    // The device list the toolkit asks when it is given none: ALSA's, made on first use.
    static platform::AudioDeviceList& systemDeviceList();
    // Replaces it (another back end, a fake in tests); null brings back ALSA's. Call while no
    // query is under way.
    static void setSystemDeviceList(std::shared_ptr<platform::AudioDeviceList> list);

    // The identifiers in the system's order, never 0; empty on any failure. A failed count
    // logs "Error <code> from AudioObjectGetPropertyDataSize", a failed read "Error <code> from
    // AudioObjectGetPropertyData"; no devices log nothing.
    static std::vector<AudioDeviceID> devices(platform::AudioDeviceList& list = systemDeviceList());
    // "" when the name cannot be read.
    static std::string deviceName(AudioDeviceID device, platform::AudioDeviceList& list = systemDeviceList());
    // The channel count of the device's streams in the scope; 0 when it cannot be read.
    static int channelCount(AudioDeviceID device, Scope scope,
                            platform::AudioDeviceList& list = systemDeviceList());
    static int inputChannels(AudioDeviceID device, platform::AudioDeviceList& list = systemDeviceList());
    static int outputChannels(AudioDeviceID device, platform::AudioDeviceList& list = systemDeviceList());
};

} // namespace rozezeru
