#include "tests/support/FakeDeviceList.h"

#include "platform/audio/NullAudioDevice.h"

namespace testsupport {

using namespace platform;

namespace {

Error fakeDeviceError(const std::string& query) {
    return Error::make("FakeDeviceList", "The " + query + " query failed");
}

Error fakeUnknownDevice(std::uint32_t deviceID) {
    return Error::make("FakeDeviceList", "No device " + std::to_string(deviceID));
}

} // namespace

void FakeDeviceList::setFailing(Query query, bool failing) {
    const std::uint32_t bit = 1u << unsigned(query);
    failing_ = failing ? failing_ | bit : failing_ & ~bit;
}

const AudioDeviceInfo* FakeDeviceList::find(std::uint32_t deviceID) const {
    for (const auto& device : devices_)
        if (device.deviceID == deviceID) return &device;
    return nullptr;
}

Result<std::vector<std::uint32_t>> FakeDeviceList::devices() {
    if (failing(Query::devices)) return fakeDeviceError("device list");
    std::vector<std::uint32_t> ids;
    for (const auto& device : devices_)
        ids.push_back(device.deviceID);
    return ids;
}

Result<std::string> FakeDeviceList::deviceName(std::uint32_t deviceID) {
    if (failing(Query::deviceName)) return fakeDeviceError("name");
    if (const auto* device = find(deviceID)) return device->name;
    return fakeUnknownDevice(deviceID);
}

Result<std::uint32_t> FakeDeviceList::inputChannels(std::uint32_t deviceID) {
    if (failing(Query::inputChannels)) return fakeDeviceError("input channel");
    if (const auto* device = find(deviceID)) return device->inputChannels;
    return fakeUnknownDevice(deviceID);
}

Result<std::uint32_t> FakeDeviceList::outputChannels(std::uint32_t deviceID) {
    if (failing(Query::outputChannels)) return fakeDeviceError("output channel");
    if (const auto* device = find(deviceID)) return device->outputChannels;
    return fakeUnknownDevice(deviceID);
}

Result<std::uint32_t> FakeDeviceList::defaultOutputDevice() {
    if (failing(Query::defaultOutputDevice)) return fakeDeviceError("default output");
    if (const auto* device = find(defaultOutput_); device && device->outputChannels > 0)
        return defaultOutput_;
    return Error::make("FakeDeviceList", "No default output device");
}

Result<std::unique_ptr<AudioDevice>> FakeDeviceList::makeOutputDevice(std::uint32_t deviceID) {
    if (failing(Query::makeOutputDevice)) return fakeDeviceError("output device");
    const auto* device = find(deviceID);
    if (!device) return fakeUnknownDevice(deviceID);
    if (device->outputChannels == 0) return Error::make("FakeDeviceList", device->name + " has no outputs");
    NullAudioDevice::Configuration configuration;
    configuration.outputChannels = device->outputChannels;
    configuration.inputChannels = device->inputChannels;
    configuration.pacing = NullAudioDevice::Pacing::asFastAsPossible;
    configuration.name = device->name;
    configuration.deviceID = device->deviceID;
    return std::unique_ptr<AudioDevice>(std::make_unique<NullAudioDevice>(configuration));
}

} // namespace testsupport
