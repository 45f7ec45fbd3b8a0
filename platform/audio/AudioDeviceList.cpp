#include "platform/audio/AudioDeviceList.h"

namespace platform {

AudioDeviceInfo AudioDeviceList::info(std::uint32_t deviceID) {
    AudioDeviceInfo device;
    device.deviceID = deviceID;
    device.name = deviceName(deviceID).valueOr(std::string());
    device.inputChannels = inputChannels(deviceID).valueOr(0u);
    device.outputChannels = outputChannels(deviceID).valueOr(0u);
    return device;
}

Result<std::vector<AudioDeviceInfo>> AudioDeviceList::allDevices() {
    auto ids = devices();
    if (!ids) return ids.error();
    std::vector<AudioDeviceInfo> result;
    for (std::uint32_t id : *ids)
        result.push_back(info(id));
    return result;
}

Result<std::vector<AudioDeviceInfo>> AudioDeviceList::inputDevices() {
    auto all = allDevices();
    if (!all) return all.error();
    std::erase_if(*all, [](const AudioDeviceInfo& device) { return device.inputChannels == 0; });
    return all;
}

Result<std::vector<AudioDeviceInfo>> AudioDeviceList::outputDevices() {
    auto all = allDevices();
    if (!all) return all.error();
    std::erase_if(*all, [](const AudioDeviceInfo& device) { return device.outputChannels == 0; });
    return all;
}

} // namespace platform
