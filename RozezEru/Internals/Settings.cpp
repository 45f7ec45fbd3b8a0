#include "RozezEru/Internals/Settings.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/IONodes.h"

#include <mutex>

namespace rozezeru {

namespace {

constexpr double settingsDefaultSampleRate = 44100.0;
constexpr std::uint32_t settingsDefaultChannelCount = 2;

// The current format lives under a lock; its rate and channel count are mirrored in atomics so
// that render code can read them without one. Both mirrors start at the default format's values.
struct SettingsCurrentFormat {
    std::mutex mutex;
    platform::AudioFormat format = Settings::defaultAudioFormat();
};

SettingsCurrentFormat& settingsCurrentFormat() {
    static SettingsCurrentFormat current;
    return current;
}

std::atomic<double> settingsSampleRate{settingsDefaultSampleRate};
std::atomic<std::uint32_t> settingsChannelCount{settingsDefaultChannelCount};

// Call with the lock held.
void settingsStoreFormat(SettingsCurrentFormat& current, const platform::AudioFormat& format) {
    current.format = format;
    settingsSampleRate.store(format.sampleRate(), std::memory_order_relaxed);
    settingsChannelCount.store(format.channelCount(), std::memory_order_relaxed);
}

// Replaces the current format by a standard one with `rate` and `channels`, where given, and the
// current values otherwise. When no format can be made the current one stays and the refusal
// is logged, so that a bad value never leaves the toolkit without a usable format.
void settingsReplaceStandardFormat(std::optional<double> rate, std::optional<std::uint32_t> channels,
                                   std::string_view function) {
    auto& current = settingsCurrentFormat();
    double newRate = 0.0;
    std::uint32_t newChannels = 0;
    platform::AudioFormat kept;
    {
        std::lock_guard lock(current.mutex);
        newRate = rate.value_or(current.format.sampleRate());
        newChannels = channels.value_or(current.format.channelCount());
        if (auto format = platform::AudioFormat::standard(newRate, newChannels)) {
            settingsStoreFormat(current, *format);
            return;
        }
        kept = current.format;
    }
    Log(LogSite(function, OSLog::settings(), LogType::error), "🛑 Error: Cannot make an audio format of",
        newRate, "Hz with", newChannels, "channels; keeping", kept);
}

} // namespace

std::atomic<Settings::BufferLength> Settings::bufferLength{Settings::BufferLength::veryLong};
std::atomic<Settings::BufferLength> Settings::secondBufferLength{Settings::BufferLength::veryLong};
std::atomic<Settings::BufferLength> Settings::recorderBufferLength{Settings::BufferLength::veryLong};
std::atomic<bool> Settings::delayRecorderStop{false};

const platform::AudioFormat& Settings::defaultAudioFormat() {
    static const platform::AudioFormat format =
        platform::AudioFormat::standard(settingsDefaultSampleRate, settingsDefaultChannelCount)
            .value_or(platform::AudioFormat());
    return format;
}

platform::AudioFormat Settings::audioFormat() {
    auto& current = settingsCurrentFormat();
    std::lock_guard lock(current.mutex);
    return current.format;
}

void Settings::setAudioFormat(const platform::AudioFormat& format) {
    auto& current = settingsCurrentFormat();
    std::lock_guard lock(current.mutex);
    settingsStoreFormat(current, format);
}

double Settings::sampleRate() {
    return settingsSampleRate.load(std::memory_order_relaxed);
}

std::uint32_t Settings::channelCount() {
    return settingsChannelCount.load(std::memory_order_relaxed);
}

void Settings::setSampleRate(double sampleRate) {
    settingsReplaceStandardFormat(sampleRate, std::nullopt, "sampleRate");
}

void Settings::setChannelCount(std::uint32_t channelCount) {
    settingsReplaceStandardFormat(std::nullopt, channelCount, "channelCount");
}

double Settings::getIOBufferDuration(OSStatus readStatus, std::uint32_t bufferFrameSize, double sampleRate) {
    if (readStatus != noErr) {
        Log(LogSite("getIOBufferDuration(engine:)", OSLog::settings(), LogType::error),
            "error in get ioBufferDuration status", readStatus);
        return 0.0;
    }
    // An output unit that has no format yet reports rate 0; a duration of infinity helps no one.
    if (!(sampleRate > 0.0)) return 0.0;
    return double(bufferFrameSize) / sampleRate;
}

double Settings::getIOBufferDuration(platform::AudioEngine& engine) {
    // The engine always has an output unit (its device), and reading its period cannot fail.
    return getIOBufferDuration(noErr, engine.outputDevice().framesPerPeriod(),
                               engine.outputNode().outputFormat(0).sampleRate());
}

std::optional<Settings::BufferLength> bufferLengthFromRawValue(int rawValue) {
    for (auto length : allBufferLengths)
        if (rozezeru::rawValue(length) == rawValue) return length;
    return std::nullopt;
}

std::optional<Settings::BufferLength> bufferLengthFromSampleCount(std::uint32_t count) {
    for (auto length : allBufferLengths)
        if (sampleCount(length) == count) return length;
    return std::nullopt;
}

double duration(Settings::BufferLength length) {
    return double(sampleCount(length)) / Settings::sampleRate();
}

} // namespace rozezeru
