#include "platform/audio/AlsaAudioDevice.h"

#include "platform/audio/PcmBuffer.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

namespace platform {

namespace {

void alsaQuietHandler(const char*, int, const char*, int, const char*, ...) {}

Error alsaError(const std::string& what, int code) {
    return Error::make("ALSA", what + ": " + snd_strerror(code), code < 0 ? -code : code);
}

std::uint64_t alsaNow() {
    return std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(
                             std::chrono::steady_clock::now().time_since_epoch())
                             .count());
}

} // namespace

void silenceAlsaErrorOutput() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&alsaQuietHandler); });
}

Result<std::unique_ptr<AlsaAudioDevice>> AlsaAudioDevice::open(const Request& request) {
    silenceAlsaErrorOutput();
    std::unique_ptr<AlsaAudioDevice> device(new AlsaAudioDevice);
    device->name_ = request.pcmName;
    device->deviceID_ = request.deviceID;
    const std::string quoted = "\"" + request.pcmName + "\"";

    // Non-blocking, so that a device held by someone else fails at once instead of hanging.
    snd_pcm_t* pcm = nullptr;
    if (int error = snd_pcm_open(&pcm, request.pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        error < 0)
        return alsaError("Cannot open the ALSA device " + quoted, error);
    device->pcm_ = pcm;

    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    if (int error = snd_pcm_hw_params_any(pcm, hw); error < 0)
        return alsaError("Cannot read the configurations of " + quoted, error);
    if (int error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED); error < 0)
        return alsaError(quoted + " does not take interleaved writes", error);
    const std::pair<snd_pcm_format_t, SampleType> types[] = {{SND_PCM_FORMAT_FLOAT_LE, SampleType::float32},
                                                             {SND_PCM_FORMAT_S32_LE, SampleType::int32},
                                                             {SND_PCM_FORMAT_S16_LE, SampleType::int16}};
    bool typed = false;
    for (const auto& [alsaType, type] : types) {
        if (snd_pcm_hw_params_set_format(pcm, hw, alsaType) == 0) {
            device->sampleType_ = type;
            typed = true;
            break;
        }
    }
    if (!typed) return Error::make("ALSA", quoted + " takes none of float, 32-bit or 16-bit samples");
    unsigned channels = std::clamp<unsigned>(request.channels, 1, AudioFormat::maxChannels);
    if (int error = snd_pcm_hw_params_set_channels_near(pcm, hw, &channels); error < 0)
        return alsaError("Cannot set the channel count of " + quoted, error);
    snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    unsigned rate = unsigned(std::lround(request.sampleRate));
    if (int error = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr); error < 0)
        return alsaError("Cannot set the sample rate of " + quoted, error);
    snd_pcm_uframes_t period = std::clamp<std::uint32_t>(request.framesPerPeriod, 32, 8192);
    if (int error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr); error < 0)
        return alsaError("Cannot set the period size of " + quoted, error);
    snd_pcm_uframes_t bufferSize = period * std::max<std::uint32_t>(request.periods, 2);
    if (int error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &bufferSize); error < 0)
        return alsaError("Cannot set the buffer size of " + quoted, error);
    if (int error = snd_pcm_hw_params(pcm, hw); error < 0)
        return alsaError("Cannot configure " + quoted, error);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw, &bufferSize);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_sw_params_current(pcm, sw);
    // Start playing once the buffer is full, then wake for every period.
    snd_pcm_sw_params_set_start_threshold(pcm, sw, bufferSize - bufferSize % period);
    snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if (int error = snd_pcm_sw_params(pcm, sw); error < 0)
        return alsaError("Cannot configure the start of " + quoted, error);

    auto format = AudioFormat::standard(double(rate), channels);
    if (!format || period == 0) return Error::make("ALSA", quoted + " settled on an unusable configuration");
    device->format_ = *format;
    device->period_ = std::uint32_t(std::min<snd_pcm_uframes_t>(period, 8192));
    return device;
}

AlsaAudioDevice::~AlsaAudioDevice() {
    stop();
    if (pcm_) snd_pcm_close(pcm_);
}

Result<void> AlsaAudioDevice::start(Client& client) {
    if (thread_.joinable()) return Result<void>();
    if (failed_.load()) return Error::make("ALSA", "The device \"" + name_ + "\" stopped working");
    if (!buffer_) {
        buffer_ = PcmBuffer::make(format_, period_);
        if (!buffer_) return Error::make("ALSA", "Could not allocate the period buffer");
        const std::size_t bytes = sampleType_ == SampleType::int16 ? 2 : 4;
        interleaved_.assign(std::size_t(period_) * format_.channelCount() * bytes, 0);
    }
    if (int error = snd_pcm_prepare(pcm_); error < 0)
        return alsaError("Cannot prepare \"" + name_ + "\"", error);
    stopRequested_.store(false);
    thread_ = std::thread([this, &client] { run(client); });
    return Result<void>();
}

void AlsaAudioDevice::stop() {
    if (!thread_.joinable()) return;
    stopRequested_.store(true);
    thread_.join();
    snd_pcm_drop(pcm_);
}

void AlsaAudioDevice::run(Client& client) {
    while (!stopRequested_.load(std::memory_order_relaxed)) {
        AudioBufferList list = buffer_->bufferList(period_);
        client.renderDevicePeriod(period_, list, alsaNow());
        convert(period_);
        if (!write(period_)) {
            failed_.store(true);
            return;
        }
    }
}

void AlsaAudioDevice::convert(std::uint32_t frames) {
    const std::uint32_t channels = format_.channelCount();
    for (std::uint32_t c = 0; c < channels; ++c) {
        const float* source = buffer_->channel(c);
        switch (sampleType_) {
        case SampleType::float32: {
            auto* out = reinterpret_cast<float*>(interleaved_.data());
            for (std::uint32_t i = 0; i < frames; ++i)
                out[i * channels + c] = source[i];
            break;
        }
        case SampleType::int32: {
            auto* out = reinterpret_cast<std::int32_t*>(interleaved_.data());
            for (std::uint32_t i = 0; i < frames; ++i)
                out[i * channels + c] =
                    std::int32_t(std::lrint(std::clamp(double(source[i]), -1.0, 1.0) * 2147483647.0));
            break;
        }
        case SampleType::int16: {
            auto* out = reinterpret_cast<std::int16_t*>(interleaved_.data());
            for (std::uint32_t i = 0; i < frames; ++i)
                out[i * channels + c] =
                    std::int16_t(std::lrint(std::clamp(source[i], -1.0f, 1.0f) * 32767.0f));
            break;
        }
        }
    }
}

bool AlsaAudioDevice::write(std::uint32_t frames) {
    const std::size_t frameBytes = interleaved_.size() / period_;
    std::uint32_t written = 0;
    while (written < frames && !stopRequested_.load(std::memory_order_relaxed)) {
        const snd_pcm_sframes_t result =
            snd_pcm_writei(pcm_, interleaved_.data() + written * frameBytes, frames - written);
        if (result >= 0) {
            written += std::uint32_t(result);
            continue;
        }
        if (result == -EAGAIN) {
            // Full: wait for room, but look at the stop request at least ten times a second.
            if (int waited = snd_pcm_wait(pcm_, 100); waited < 0 && snd_pcm_recover(pcm_, waited, 1) < 0)
                return false;
            continue;
        }
        if (snd_pcm_recover(pcm_, int(result), 1) < 0) return false;
        underruns_.fetch_add(1, std::memory_order_relaxed);
    }
    return true;
}

} // namespace platform
