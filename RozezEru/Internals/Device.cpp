#include "RozezEru/Internals/Device.h"

#include <functional>
#include <ostream>

namespace rozezeru {

namespace {

void deviceHashCombine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2);
}

void deviceHashCount(std::size_t& seed, const std::optional<int>& count) {
    if (count) {
        deviceHashCombine(seed, 1);
        deviceHashCombine(seed, std::hash<int>{}(*count));
    } else {
        deviceHashCombine(seed, 0);
    }
}

} // namespace

Device::Device(AudioDeviceID deviceID, platform::AudioDeviceList& list)
    : name_(DeviceUtils::deviceName(deviceID, list)),
      inputChannelCount_(DeviceUtils::inputChannels(deviceID, list)),
      outputChannelCount_(DeviceUtils::outputChannels(deviceID, list)), deviceID_(deviceID) {}

Device::Device(std::string name, AudioDeviceID deviceID) : name_(std::move(name)), deviceID_(deviceID) {}

std::string Device::debugDescription() const {
    return "<Device: " + name_ + " (" + std::to_string(deviceID_) + ")>";
}

std::size_t Device::hash() const {
    std::size_t seed = std::hash<std::string>{}(name_);
    deviceHashCount(seed, inputChannelCount_);
    deviceHashCount(seed, outputChannelCount_);
    deviceHashCombine(seed, std::hash<AudioDeviceID>{}(deviceID_));
    return seed;
}

std::ostream& operator<<(std::ostream& stream, const Device& device) {
    return stream << device.debugDescription();
}

} // namespace rozezeru
