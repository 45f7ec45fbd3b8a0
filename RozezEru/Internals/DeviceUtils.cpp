#include "RozezEru/Internals/DeviceUtils.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/AlsaDeviceList.h"

#include <algorithm>
#include <climits>

namespace rozezeru {

namespace {

std::shared_ptr<platform::AudioDeviceList>& deviceUtilsSystemList() {
    static std::shared_ptr<platform::AudioDeviceList> list;
    return list;
}

int deviceUtilsCount(const platform::Result<std::uint32_t>& count) {
    if (!count) return 0;
    return int(std::min<std::uint32_t>(*count, INT_MAX));
}

} // namespace

platform::AudioDeviceList& DeviceUtils::systemDeviceList() {
    auto& list = deviceUtilsSystemList();
    if (!list) list = std::make_shared<platform::AlsaDeviceList>();
    return *list;
}

void DeviceUtils::setSystemDeviceList(std::shared_ptr<platform::AudioDeviceList> list) {
    deviceUtilsSystemList() = std::move(list);
}

std::vector<AudioDeviceID> DeviceUtils::devices(platform::AudioDeviceList& list) {
    // The list is asked twice, as the count and then the contents, so that either failure reports
    // as its own message. The result is what the second answer holds: devices that came or went
    // in between neither leave holes (identifier 0) nor go missing.
    auto count = list.devices();
    if (!count) {
        Log(LogSite("devices()"),
            "Error " + std::to_string(count.error().code) + " from AudioObjectGetPropertyDataSize");
        return {};
    }
    if (count->empty()) return {};
    auto read = list.devices();
    if (!read) {
        Log(LogSite("devices()"),
            "Error " + std::to_string(read.error().code) + " from AudioObjectGetPropertyData");
        return {};
    }
    std::vector<AudioDeviceID> ids = std::move(*read);
    std::erase(ids, AudioDeviceID{0});
    return ids;
}

std::string DeviceUtils::deviceName(AudioDeviceID device, platform::AudioDeviceList& list) {
    return list.deviceName(device).valueOr(std::string());
}

int DeviceUtils::channelCount(AudioDeviceID device, Scope scope, platform::AudioDeviceList& list) {
    return deviceUtilsCount(scope == Scope::input ? list.inputChannels(device) : list.outputChannels(device));
}

int DeviceUtils::inputChannels(AudioDeviceID device, platform::AudioDeviceList& list) {
    return channelCount(device, Scope::input, list);
}

int DeviceUtils::outputChannels(AudioDeviceID device, platform::AudioDeviceList& list) {
    return channelCount(device, Scope::output, list);
}

} // namespace rozezeru
