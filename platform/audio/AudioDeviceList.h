#pragma once
// The audio devices of the system: identifiers, names, channel counts, the default output, and an output
// device for a listed identifier. Every query asks the system anew and can fail on its own. Back ends:
// AlsaDeviceList (tests have their own). Any one thread at a time.

#include "platform/audio/AudioDevice.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

struct AudioDeviceInfo {
    std::string name;
    std::uint32_t inputChannels = 0;
    std::uint32_t outputChannels = 0;
    std::uint32_t deviceID = 0;
    friend bool operator==(const AudioDeviceInfo&, const AudioDeviceInfo&) = default;
};

class AudioDeviceList {
public:
    virtual ~AudioDeviceList() = default;

    // Identifiers in the system's order.
    virtual Result<std::vector<std::uint32_t>> devices() = 0;
    virtual Result<std::string> deviceName(std::uint32_t deviceID) = 0;
    virtual Result<std::uint32_t> inputChannels(std::uint32_t deviceID) = 0;
    virtual Result<std::uint32_t> outputChannels(std::uint32_t deviceID) = 0;
    virtual Result<std::uint32_t> defaultOutputDevice() = 0;
    // A device that plays through the listed device.
    virtual Result<std::unique_ptr<AudioDevice>> makeOutputDevice(std::uint32_t deviceID) = 0;

    // Built on the queries above. A device whose channel query fails counts no channels of that kind
    // and is left out of inputDevices()/outputDevices(); a name that cannot be read is empty.
    Result<std::vector<AudioDeviceInfo>> allDevices();
    Result<std::vector<AudioDeviceInfo>> inputDevices();
    Result<std::vector<AudioDeviceInfo>> outputDevices();
    AudioDeviceInfo info(std::uint32_t deviceID);
};

} // namespace platform
