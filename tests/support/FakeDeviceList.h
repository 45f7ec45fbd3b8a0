#pragma once
// A device list that serves what it was given and fails any query it is told to fail. For tests of device
// handling; any one thread at a time.

#include "platform/audio/AudioDeviceList.h"

namespace testsupport {

class FakeDeviceList final : public platform::AudioDeviceList {
public:
    enum class Query {
        devices,
        deviceName,
        inputChannels,
        outputChannels,
        defaultOutputDevice,
        makeOutputDevice
    };

    void addDevice(const platform::AudioDeviceInfo& device) { devices_.push_back(device); }
    void removeAllDevices() { devices_.clear(); }
    void setDefaultOutputDevice(std::uint32_t deviceID) { defaultOutput_ = deviceID; }
    void setFailing(Query query, bool failing);

    platform::Result<std::vector<std::uint32_t>> devices() override;
    platform::Result<std::string> deviceName(std::uint32_t deviceID) override;
    platform::Result<std::uint32_t> inputChannels(std::uint32_t deviceID) override;
    platform::Result<std::uint32_t> outputChannels(std::uint32_t deviceID) override;
    platform::Result<std::uint32_t> defaultOutputDevice() override;
    // A null device (as fast as possible) with the device's output channel count and identifier.
    platform::Result<std::unique_ptr<platform::AudioDevice>>
    makeOutputDevice(std::uint32_t deviceID) override;

private:
    const platform::AudioDeviceInfo* find(std::uint32_t deviceID) const;
    bool failing(Query query) const { return failing_ & (1u << unsigned(query)); }

    std::vector<platform::AudioDeviceInfo> devices_;
    std::uint32_t defaultOutput_ = 0;
    std::uint32_t failing_ = 0;
};

} // namespace testsupport
