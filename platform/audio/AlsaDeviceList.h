#pragma once
// The ALSA PCMs the system lists (its "hints"). Identifiers are a hash of the PCM name, so they stay
// the same while the name does. Channel counts come from opening the PCM (without blocking);
// counts beyond any real hardware (the "null" PCM accepts a billion channels) are reported as 2.
// Any one thread at a time.

#include "platform/audio/AudioDeviceList.h"

namespace platform {

class AlsaDeviceList final : public AudioDeviceList {
public:
    Result<std::vector<std::uint32_t>> devices() override;
    Result<std::string> deviceName(std::uint32_t deviceID) override;
    Result<std::uint32_t> inputChannels(std::uint32_t deviceID) override;
    Result<std::uint32_t> outputChannels(std::uint32_t deviceID) override;
    // The "default" PCM when it opens for playback.
    Result<std::uint32_t> defaultOutputDevice() override;
    Result<std::unique_ptr<AudioDevice>> makeOutputDevice(std::uint32_t deviceID) override;

    static std::uint32_t identifierForName(const std::string& pcmName);
};

} // namespace platform
