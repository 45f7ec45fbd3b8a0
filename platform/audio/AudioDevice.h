#pragma once
// An audio back end: its output owns the render thread and asks its client for one period of audio at
// a time; its input, when it has one, hands captured frames to the render thread through a ring. Made,
// started and stopped on the main thread; the client is called on the device's own thread.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

class CaptureRing;

class AudioDevice {
public:
    // Called on the device's render thread; must fill `out` (the device's output format, `frames`
    // frames, non-interleaved float) without locking, allocating or blocking.
    class Client {
    public:
        virtual void renderDevicePeriod(std::uint32_t frames, AudioBufferList& out,
                                        std::uint64_t hostTime) = 0;

    protected:
        ~Client() = default;
    };

    virtual ~AudioDevice() = default;

    virtual std::string name() const = 0;
    // The device's identifier in its device list; 0 for a device that is in none (the null device).
    virtual std::uint32_t deviceID() const = 0;
    // Non-interleaved float at the rate and channel count the hardware accepted.
    virtual AudioFormat outputFormat() const = 0;
    // What an input from this device would deliver; the engine's input node has this format.
    virtual AudioFormat inputFormat() const = 0;
    virtual std::uint32_t framesPerPeriod() const = 0;

    // Starts the render thread. Fails when the device cannot run (gone, busy).
    virtual Result<void> start(Client& client) = 0;
    // Returns once the render thread has ended: the client is not called any more.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    // Starts delivering the device's input, in inputFormat(), into `ring` (which has that channel
    // count) until stopCapture(); hardware that captures at another rate goes through a
    // CaptureRateConverter. Fails when the device has no input or it cannot be opened; the
    // default is a device without input.
    virtual Result<void> startCapture(CaptureRing& ring);
    // Returns once nothing writes into the ring any more.
    virtual void stopCapture() {}
    // How many frames capture must be ahead before the render thread reads them, so the jitter of its
    // delivery never starves a cycle: none for a device that captures in step with its output.
    virtual std::uint32_t captureLead() const { return 0; }
};

// The error of a device without audio input.
Error noAudioInputError(const std::string& deviceName);

// The environment variable that forces the null device when set to "null".
inline constexpr const char* audioDeviceEnvironmentVariable = "VANTLE_AUDIO_DEVICE";

// The engine's choice: ALSA "default" when it opens, else the null device pacing itself in real time
// (always the null device when VANTLE_AUDIO_DEVICE is "null").
std::unique_ptr<AudioDevice> makeDefaultOutputDevice();

} // namespace platform
