#pragma once
// An output device in memory for tests of the volume and mute logic: whether there is a device, which
// properties it has and allows setting, which writes fail, and the writes made in order. Any thread,
// one at a time.

#include "platform/system/OutputVolume.h"

#include <string>
#include <vector>

namespace testsupport {

using platform::OutputProperty;
using platform::OutputVolumeBackend;

class FakeOutputVolumeBackend final : public OutputVolumeBackend {
public:
    std::optional<std::uint32_t> device = 0x2au; // none: no output device
    bool hasVolume = true, hasMute = true;
    bool volumeSettable = true, muteSettable = true;
    bool volumeWriteFails = false, muteWriteFails = false;
    float volume = 0.5f;
    bool muted = false;
    // "volume 0.30", "mute 1", in the order written.
    std::vector<std::string> writes;

    std::optional<std::uint32_t> defaultOutputDevice() override { return device; }
    bool hasProperty(std::uint32_t, OutputProperty property) override {
        return property == OutputProperty::volume ? hasVolume : hasMute;
    }
    std::optional<bool> isSettable(std::uint32_t, OutputProperty property) override {
        return property == OutputProperty::volume ? hasVolume && volumeSettable : hasMute && muteSettable;
    }
    std::optional<float> readVolume(std::uint32_t) override {
        return hasVolume ? std::optional<float>(volume) : std::nullopt;
    }
    std::optional<bool> readMute(std::uint32_t) override {
        return hasMute ? std::optional<bool>(muted) : std::nullopt;
    }
    bool writeVolume(std::uint32_t, float value) override;
    bool writeMute(std::uint32_t, bool value) override;
};

} // namespace testsupport
