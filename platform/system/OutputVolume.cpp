#include "platform/system/OutputVolume.h"

#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/foundation/Console.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <thread>

namespace platform {

OutputVolume::OutputVolume(OutputVolumeBackend& backend, Print print, Sleep sleep)
    : backend_(backend), print_(std::move(print)), sleep_(std::move(sleep)) {
    if (!print_) print_ = [](const std::string& line) { platform::consolePrint(line); };
    if (!sleep_)
        sleep_ = [](double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); };
}

void OutputVolume::print(const char* format, ...) {
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    print_(line);
}

std::uint32_t OutputVolume::defaultOutputDevice() {
    std::optional<std::uint32_t> device = backend_.defaultOutputDevice();
    if (!device) {
        print("Unable to get default audio device");
        return 0;
    }
    return *device;
}

bool OutputVolume::setOutputVolume(float volume, bool unmute) {
    const std::uint32_t device = defaultOutputDevice();
    if (device == 0) {
        print("Audio Device unknown");
        return false;
    }
    const float v = std::isnan(volume) ? 0.0f : std::clamp(volume, 0.0f, 1.0f);
    if (v != volume)
        print("Tentative volume (%5.2f) was out of range; reset to %5.2f", double(volume), double(v));
    const bool mute = v < 0.05f;
    const bool muteSettable = backend_.isSettable(device, OutputProperty::mute) == true;
    if (mute && backend_.hasProperty(device, OutputProperty::mute) && !muteSettable)
        print("Should mute device 0x%0x but did not succeed", device);
    if (!backend_.hasProperty(device, OutputProperty::volume)) {
        print("The device 0x%0x does not have a volume to set", device);
        return false;
    }
    if (backend_.isSettable(device, OutputProperty::volume) != true) {
        print("The volume of device 0x%0x cannot be set", device);
        return false;
    }
    const bool written = backend_.writeVolume(device, v);
    if (!written) print("The device 0x%0x was unable to set volume", device);
    if (mute) {
        // The level follows, but the device stays muted: a tiny volume is silence.
        if (muteSettable && !backend_.writeMute(device, true))
            print("The device 0x%0x was not muted", device);
        return written;
    }
    if (unmute && !backend_.writeMute(device, false)) print("Unable to set volume for device 0x%0x", device);
    return written;
}

void OutputVolume::setOutputMuted(bool muted) {
    const std::uint32_t device = defaultOutputDevice();
    if (device == 0) return print("Audio device unknown");
    if (!backend_.hasProperty(device, OutputProperty::mute) ||
        backend_.isSettable(device, OutputProperty::mute) != true)
        return;
    if (!backend_.writeMute(device, muted)) print("Cannot change mute status of device 0x%0x", device);
}

float OutputVolume::outputVolume() {
    const std::uint32_t device = defaultOutputDevice();
    if (device == 0) {
        print("Audio device not found!");
        return 0.0f;
    }
    if (!backend_.hasProperty(device, OutputProperty::volume)) {
        print("No volume control for device 0x%0x", device);
        return 0.0f;
    }
    std::optional<float> volume = backend_.readVolume(device);
    if (!volume) {
        print("Unable to read volume for device 0x%0x", device);
        return 0.0f;
    }
    return std::clamp(*volume, 0.0f, 1.0f);
}

bool OutputVolume::isOutputMuted() {
    const std::uint32_t device = defaultOutputDevice();
    if (device == 0) {
        print("Audio device unknown");
        return false;
    }
    if (!backend_.hasProperty(device, OutputProperty::mute) ||
        backend_.isSettable(device, OutputProperty::mute) != true)
        return false;
    return backend_.readMute(device).value_or(false);
}

void OutputVolume::fadeOutAndMute(float duration, bool synchronously) {
    // Without a device there is nothing to fade (and isOutputMuted has said so).
    if (isOutputMuted() || !backend_.defaultOutputDevice()) return;
    auto fade = [this, duration] {
        // A duration of 0 or less has no steps to take (and none that would raise the level).
        if (!(duration > 0.0f)) return setOutputMuted(true);
        float remaining = std::min(10.0f, std::fabs(duration));
        const float start = outputVolume();
        while (remaining > 0.0f) {
            setOutputVolume(outputVolume() - start / (2.0f * duration), true);
            sleep_(0.5);
            remaining -= 0.5f;
        }
        setOutputMuted(true);
        setOutputVolume(start, false);
    };
    if (synchronously)
        fade();
    else
        globalQueue().async(fade);
}

OutputVolume& systemOutputVolume() {
    static std::unique_ptr<OutputVolumeBackend> backend = makeAlsaOutputVolumeBackend();
    static OutputVolume volume(*backend);
    return volume;
}

} // namespace platform
