#pragma once
// One audio device of the system: its name, channel counts and identifier. A plain value; any
// thread (making one from an identifier asks the device list, see DeviceUtils).

#include "RozezEru/Internals/DeviceUtils.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>

namespace rozezeru {

class Device {
public:
    // Name and both channel counts as the device list reports them now (an unreadable name is "",
    // an unreadable count 0, so both counts are present).
    explicit Device(AudioDeviceID deviceID,
                    platform::AudioDeviceList& list = DeviceUtils::systemDeviceList());
    // A device known by name only: both counts absent.
    Device(std::string name, AudioDeviceID deviceID);

    const std::string& name() const { return name_; }
    std::optional<int> inputChannelCount() const { return inputChannelCount_; }
    std::optional<int> outputChannelCount() const { return outputChannelCount_; }
    AudioDeviceID deviceID() const { return deviceID_; }

    // "<Device: Speakers (73)>"
    std::string debugDescription() const;

    // Fed with the name, each count (1 and the value, or 0 when absent) and the identifier.
    std::size_t hash() const;

    friend bool operator==(const Device&, const Device&) = default;

private:
    std::string name_;
    std::optional<int> inputChannelCount_;
    std::optional<int> outputChannelCount_;
    AudioDeviceID deviceID_ = 0;
};

std::ostream& operator<<(std::ostream& stream, const Device& device);

} // namespace rozezeru

template <> struct std::hash<rozezeru::Device> {
    std::size_t operator()(const rozezeru::Device& device) const noexcept { return device.hash(); }
};
