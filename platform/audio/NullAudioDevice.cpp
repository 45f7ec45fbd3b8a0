#include "platform/audio/NullAudioDevice.h"

#include "platform/audio/PcmBuffer.h"

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

std::uint64_t nullDeviceNow() {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

} // namespace

NullAudioDevice::NullAudioDevice() : NullAudioDevice(Configuration{}) {}

NullAudioDevice::NullAudioDevice(const Configuration& configuration) : configuration_(configuration) {
    configuration_.framesPerPeriod = std::clamp<std::uint32_t>(configuration_.framesPerPeriod, 16, 8192);
    output_ = AudioFormat::standard(configuration_.sampleRate, configuration_.outputChannels)
                  .value_or(*AudioFormat::standard(44100.0, 2));
    configuration_.sampleRate = output_.sampleRate();
    input_ = AudioFormat::standard(configuration_.sampleRate, configuration_.inputChannels)
                 .value_or(AudioFormat());
}

NullAudioDevice::~NullAudioDevice() {
    stop();
}

Result<void> NullAudioDevice::start(Client& client) {
    if (thread_.joinable()) return Result<void>();
    if (!buffer_) buffer_ = PcmBuffer::make(output_, configuration_.framesPerPeriod);
    if (!buffer_) return Error::make("NullAudioDevice", "Could not allocate the period buffer");
    buffer_->setFrameLength(configuration_.framesPerPeriod);
    stopRequested_.store(false);
    thread_ = std::thread([this, &client] { run(client); });
    return Result<void>();
}

void NullAudioDevice::stop() {
    if (!thread_.joinable()) return;
    stopRequested_.store(true);
    thread_.join();
}

void NullAudioDevice::run(Client& client) {
    const std::uint32_t frames = configuration_.framesPerPeriod;
    const auto period = std::chrono::nanoseconds(std::int64_t(1e9 * frames / configuration_.sampleRate));
    const bool paced = configuration_.pacing == Pacing::realTime;
    auto due = std::chrono::steady_clock::now();
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        AudioBufferList list = buffer_->bufferList(frames);
        // A paced device plays each period at its due time, so host times follow the sample clock.
        const std::uint64_t host =
            paced ? std::uint64_t(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count())
                  : nullDeviceNow();
        client.renderDevicePeriod(frames, list, host);
        periods_.fetch_add(1, std::memory_order_relaxed);
        if (!paced) continue;
        due += period;
        const auto now = std::chrono::steady_clock::now();
        // After a long stall start afresh instead of rushing through the missed periods.
        if (now > due + period * 8)
            due = now;
        else
            std::this_thread::sleep_until(due);
    }
}

} // namespace platform
