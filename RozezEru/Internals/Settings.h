#pragma once
// The toolkit's process-wide settings, as static members read directly by every part of the
// toolkit; there is no settings object to pass around.

#include "RozezEru/Internals/LoggingSwitch.h"
#include "RozezEru/Internals/OSStatus.h"
#include "platform/audio/AudioFormat.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

namespace platform {
class AudioEngine;
} // namespace platform

namespace rozezeru {

// Process-wide settings of the toolkit. Set them from the controlling thread before a graph is
// built. The switches, sampleRate() and channelCount() are lock-free reads for any thread, the
// render thread included; audioFormat() takes a short lock and is for the other threads.
class Settings {
public:
    // Buffer sizes of 2^5 to 2^12 frames; the value is the power of two. `short` and `long` are
    // keywords here, hence `short_` and `long_`.
    enum class BufferLength : int {
        shortest = 5,
        veryShort = 6,
        short_ = 7,
        medium = 8,
        long_ = 9,
        veryLong = 10,
        huge = 11,
        longest = 12,
    };

    // The format nodes and engines use unless told otherwise: standard (32-bit float,
    // non-interleaved), 44100 Hz, 2 channels. Never changes.
    static const platform::AudioFormat& defaultAudioFormat();

    // The current format; initially defaultAudioFormat(). Setting it replaces it as given.
    static platform::AudioFormat audioFormat();
    static void setAudioFormat(const platform::AudioFormat& format);

    static double sampleRate();
    static std::uint32_t channelCount();
    // Each makes the current format a standard one with the new value and the other value kept.
    // A value that makes no format (a rate that is not a positive finite number, a channel count
    // of 0 or above AudioFormat::maxChannels) is refused with an error record; the format stays.
    static void setSampleRate(double sampleRate);
    static void setChannelCount(std::uint32_t channelCount);

    // Not read by the toolkit itself.
    static std::atomic<BufferLength> bufferLength;
    static std::atomic<BufferLength> secondBufferLength;

    // The size of a node recorder's tap buffers; initially veryLong (1024 frames).
    static std::atomic<BufferLength> recorderBufferLength;
    // When on, a node recorder's stop waits one record-buffer duration before removing its tap.
    static std::atomic<bool> delayRecorderStop;

    // Log records are written only while this is on (initially on). Readers load it relaxed:
    // a change only needs to show at the next log call, not order anything else.
    static constexpr std::atomic<bool>& loggingEnabled = loggingSwitch;

    // The output device's I/O buffer duration in seconds, from what an engine's output unit
    // reports: the status and frame count of its buffer-frame-size read and its output sample
    // rate. A failed read is logged and gives 0.0, as does a rate that is not positive.
    static double getIOBufferDuration(OSStatus readStatus, std::uint32_t bufferFrameSize, double sampleRate);
    // The same for the engine's output device: its period in frames at the output node's rate.
    // Main thread.
    static double getIOBufferDuration(platform::AudioEngine& engine);
};

inline constexpr std::array<Settings::BufferLength, 8> allBufferLengths = {
    Settings::BufferLength::shortest, Settings::BufferLength::veryShort, Settings::BufferLength::short_,
    Settings::BufferLength::medium,   Settings::BufferLength::long_,     Settings::BufferLength::veryLong,
    Settings::BufferLength::huge,     Settings::BufferLength::longest,
};

constexpr int rawValue(Settings::BufferLength length) {
    return static_cast<int>(length);
}

// 5 to 12; nothing for any other value.
std::optional<Settings::BufferLength> bufferLengthFromRawValue(int rawValue);

// The length of exactly that many frames; nothing when no length has it.
std::optional<Settings::BufferLength> bufferLengthFromSampleCount(std::uint32_t sampleCount);

// 2 to the power of the raw value.
constexpr std::uint32_t sampleCount(Settings::BufferLength length) {
    return std::uint32_t{1} << rawValue(length);
}

// Seconds at the current Settings::sampleRate().
double duration(Settings::BufferLength length);

} // namespace rozezeru
