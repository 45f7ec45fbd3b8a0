#pragma once
// The volume and mute state of the system's default output device (stands in for the platform's
// audio hardware volume). OutputVolumeBackend is the device side: ALSA's mixer in the application, a
// fake in tests. OutputVolume keeps no state of its own and looks the device up on every call; its
// failures are printed, one line each, and never reach the caller. Any thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

enum class OutputProperty { volume, mute };

class OutputVolumeBackend {
public:
    virtual ~OutputVolumeBackend() = default;
    // None when the system has no output device with a mixer; otherwise a non-zero identifier.
    virtual std::optional<std::uint32_t> defaultOutputDevice() = 0;
    virtual bool hasProperty(std::uint32_t device, OutputProperty property) = 0;
    // None when the query itself fails.
    virtual std::optional<bool> isSettable(std::uint32_t device, OutputProperty property) = 0;
    // The level in 0 … 1; none when it cannot be read.
    virtual std::optional<float> readVolume(std::uint32_t device) = 0;
    virtual std::optional<bool> readMute(std::uint32_t device) = 0;
    virtual bool writeVolume(std::uint32_t device, float volume) = 0;
    virtual bool writeMute(std::uint32_t device, bool muted) = 0;
};

// "Master" (else "PCM") of the default card, or of the first card when "default" has no mixer.
std::unique_ptr<OutputVolumeBackend> makeAlsaOutputVolumeBackend();

class OutputVolume {
public:
    using Print = std::function<void(const std::string& line)>;
    using Sleep = std::function<void(double seconds)>;

    // Empty print: standard output. Empty sleep: the calling thread sleeps.
    explicit OutputVolume(OutputVolumeBackend& backend, Print print = {}, Sleep sleep = {});

    // 0 when unknown.
    std::uint32_t defaultOutputDevice();
    // Clamped to 0 … 1. Below 0.05 the level is set and the device muted, so that a tiny volume is
    // silence; otherwise the level is set and, with `unmute`, the device unmuted. True when the level
    // reached the device.
    bool setOutputVolume(float volume, bool unmute = true);
    void setOutputMuted(bool muted);
    // 0 and false on any failure.
    float outputVolume();
    bool isOutputMuted();
    // Lowers the level in 0.5 s steps over |duration| (at most 10 s), then mutes and puts the level
    // back. A duration of 0 or less mutes at once. Not synchronous: on the global queue.
    void fadeOutAndMute(float duration, bool synchronously);

private:
    void print(const char* format, ...);

    OutputVolumeBackend& backend_;
    Print print_;
    Sleep sleep_;
};

// The application's own, over ALSA; made on first use.
OutputVolume& systemOutputVolume();

} // namespace platform
