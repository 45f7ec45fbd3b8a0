#include "platform/audio/AlsaAudioDevice.h"

#include "platform/audio/CaptureRateConverter.h"
#include "platform/audio/CaptureRing.h"
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

namespace {

// What a PCM settled on.
struct AlsaSettings {
    AlsaAudioDevice::SampleType type = AlsaAudioDevice::SampleType::float32;
    unsigned channels = 0;
    unsigned rate = 0;
    snd_pcm_uframes_t period = 0;
    snd_pcm_uframes_t bufferSize = 0;
};

// Interleaved access in the first sample type the PCM takes, near the channels, rate and period asked.
Result<AlsaSettings> alsaConfigure(snd_pcm_t* pcm, const std::string& quoted, unsigned channels, double rate,
                                   std::uint32_t framesPerPeriod, std::uint32_t periods) {
    AlsaSettings settings;
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    if (int error = snd_pcm_hw_params_any(pcm, hw); error < 0)
        return alsaError("Cannot read the configurations of " + quoted, error);
    if (int error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED); error < 0)
        return alsaError(quoted + " does not take interleaved transfers", error);
    using SampleType = AlsaAudioDevice::SampleType;
    const std::pair<snd_pcm_format_t, SampleType> types[] = {{SND_PCM_FORMAT_FLOAT_LE, SampleType::float32},
                                                             {SND_PCM_FORMAT_S32_LE, SampleType::int32},
                                                             {SND_PCM_FORMAT_S16_LE, SampleType::int16}};
    bool typed = false;
    for (const auto& [alsaType, type] : types) {
        if (snd_pcm_hw_params_set_format(pcm, hw, alsaType) == 0) {
            settings.type = type;
            typed = true;
            break;
        }
    }
    if (!typed) return Error::make("ALSA", quoted + " takes none of float, 32-bit or 16-bit samples");
    settings.channels = std::clamp<unsigned>(channels, 1, AudioFormat::maxChannels);
    if (int error = snd_pcm_hw_params_set_channels_near(pcm, hw, &settings.channels); error < 0)
        return alsaError("Cannot set the channel count of " + quoted, error);
    snd_pcm_hw_params_set_rate_resample(pcm, hw, 1);
    settings.rate = unsigned(std::lround(rate));
    if (int error = snd_pcm_hw_params_set_rate_near(pcm, hw, &settings.rate, nullptr); error < 0)
        return alsaError("Cannot set the sample rate of " + quoted, error);
    settings.period = std::clamp<std::uint32_t>(framesPerPeriod, 32, 8192);
    if (int error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &settings.period, nullptr); error < 0)
        return alsaError("Cannot set the period size of " + quoted, error);
    settings.bufferSize = settings.period * std::max<std::uint32_t>(periods, 2);
    if (int error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &settings.bufferSize); error < 0)
        return alsaError("Cannot set the buffer size of " + quoted, error);
    if (int error = snd_pcm_hw_params(pcm, hw); error < 0)
        return alsaError("Cannot configure " + quoted, error);
    snd_pcm_hw_params_get_period_size(hw, &settings.period, nullptr);
    snd_pcm_hw_params_get_buffer_size(hw, &settings.bufferSize);
    if (settings.period == 0 || settings.channels == 0)
        return Error::make("ALSA", quoted + " settled on an unusable configuration");
    settings.period = std::min<snd_pcm_uframes_t>(settings.period, 8192);
    return settings;
}

// Starts the PCM once `threshold` frames are queued, then wakes its thread for every period.
Result<void> alsaSetStart(snd_pcm_t* pcm, const std::string& quoted, snd_pcm_uframes_t threshold,
                          snd_pcm_uframes_t period) {
    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    snd_pcm_sw_params_current(pcm, sw);
    snd_pcm_sw_params_set_start_threshold(pcm, sw, threshold);
    snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if (int error = snd_pcm_sw_params(pcm, sw); error < 0)
        return alsaError("Cannot configure the start of " + quoted, error);
    return Result<void>();
}

std::size_t alsaSampleBytes(AlsaAudioDevice::SampleType type) {
    return type == AlsaAudioDevice::SampleType::int16 ? 2 : 4;
}

} // namespace

Result<std::unique_ptr<AlsaAudioDevice>> AlsaAudioDevice::open(const Request& request) {
    silenceAlsaErrorOutput();
    std::unique_ptr<AlsaAudioDevice> device(new AlsaAudioDevice);
    device->name_ = request.pcmName;
    device->deviceID_ = request.deviceID;
    device->captureName_ = request.capturePcmName.empty() ? request.pcmName : request.capturePcmName;
    const std::string quoted = "\"" + request.pcmName + "\"";

    // Non-blocking, so that a device held by someone else fails at once instead of hanging.
    snd_pcm_t* pcm = nullptr;
    if (int error = snd_pcm_open(&pcm, request.pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
        error < 0)
        return alsaError("Cannot open the ALSA device " + quoted, error);
    device->pcm_ = pcm;

    auto settings = alsaConfigure(pcm, quoted, request.channels, request.sampleRate, request.framesPerPeriod,
                                  request.periods);
    if (!settings) return settings.error();
    device->sampleType_ = settings->type;

    // Start playing once the buffer is full.
    if (auto started = alsaSetStart(
            pcm, quoted, settings->bufferSize - settings->bufferSize % settings->period, settings->period);
        !started)
        return started.error();

    auto format = AudioFormat::standard(double(settings->rate), settings->channels);
    if (!format) return Error::make("ALSA", quoted + " settled on an unusable configuration");
    device->format_ = *format;
    device->period_ = std::uint32_t(settings->period);
    device->inputFormat_ =
        AudioFormat::standard(double(settings->rate), request.captureChannels).value_or(AudioFormat());
    return device;
}

AlsaAudioDevice::~AlsaAudioDevice() {
    stop();
    stopCapture();
    if (pcm_) snd_pcm_close(pcm_);
}

Result<void> AlsaAudioDevice::start(Client& client) {
    if (thread_.joinable()) return Result<void>();
    if (failed_.load()) return Error::make("ALSA", "The device \"" + name_ + "\" stopped working");
    if (!buffer_) {
        buffer_ = PcmBuffer::make(format_, period_);
        if (!buffer_) return Error::make("ALSA", "Could not allocate the period buffer");
        interleaved_.assign(std::size_t(period_) * format_.channelCount() * alsaSampleBytes(sampleType_), 0);
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

// Capture -------------------------------------------------------------------------------------------

Result<void> AlsaAudioDevice::startCapture(CaptureRing& ring) {
    if (captureThread_.joinable()) return Result<void>();
    if (!inputFormat_.isValid()) return noAudioInputError(name_);
    const std::string quoted = "\"" + captureName_ + "\"";
    snd_pcm_t* pcm = nullptr;
    if (int error = snd_pcm_open(&pcm, captureName_.c_str(), SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        error < 0)
        return alsaError("No audio input device: cannot open the ALSA capture device " + quoted, error);
    auto fail = [&](Error error) {
        snd_pcm_close(pcm);
        return error;
    };
    auto settings =
        alsaConfigure(pcm, quoted, inputFormat_.channelCount(), inputFormat_.sampleRate(), period_, 4);
    if (!settings) return fail(settings.error());
    // The render thread reads the ring at the output's pace: a capture PCM that settled on another rate
    // is converted to it here, on the capture thread.
    captureConverter_.reset();
    if (double(settings->rate) != inputFormat_.sampleRate()) {
        captureConverter_ = CaptureRateConverter::make(double(settings->rate), inputFormat_.sampleRate(),
                                                       ring.channelCount());
        if (!captureConverter_)
            return fail(Error::make("ALSA", quoted + " captures at " + std::to_string(settings->rate) +
                                                " Hz, which cannot be converted to " +
                                                std::to_string(std::lround(inputFormat_.sampleRate())) +
                                                " Hz"));
    }
    if (auto started = alsaSetStart(pcm, quoted, 1, settings->period); !started) return fail(started.error());
    if (int error = snd_pcm_prepare(pcm); error < 0)
        return fail(alsaError("Cannot prepare " + quoted, error));

    capturePcm_ = pcm;
    captureType_ = settings->type;
    captureChannels_ = settings->channels;
    capturePeriod_ = std::uint32_t(settings->period);
    capturedInterleaved_.assign(
        std::size_t(capturePeriod_) * captureChannels_ * alsaSampleBytes(captureType_), 0);
    capturedPlanar_.assign(std::min(captureChannels_, ring.channelCount()),
                           std::vector<float>(capturePeriod_));
    capturedPointers_.clear();
    for (const auto& channel : capturedPlanar_)
        capturedPointers_.push_back(channel.data());
    ring_ = &ring;
    captureStopRequested_.store(false);
    captureFailed_.store(false);
    captureThread_ = std::thread([this] { capture(); });
    return Result<void>();
}

void AlsaAudioDevice::stopCapture() {
    if (captureThread_.joinable()) {
        captureStopRequested_.store(true);
        captureThread_.join();
    }
    if (capturePcm_) {
        snd_pcm_drop(capturePcm_);
        snd_pcm_close(capturePcm_);
        capturePcm_ = nullptr;
    }
    ring_ = nullptr;
}

void AlsaAudioDevice::capture() {
    snd_pcm_start(capturePcm_);
    while (!captureStopRequested_.load(std::memory_order_relaxed)) {
        const snd_pcm_sframes_t got = snd_pcm_readi(capturePcm_, capturedInterleaved_.data(), capturePeriod_);
        if (got > 0) {
            deinterleave(std::uint32_t(got));
            if (captureConverter_)
                captureConverter_->write(*ring_, capturedPointers_.data(),
                                         std::uint32_t(capturedPointers_.size()), std::uint32_t(got));
            else
                ring_->write(capturedPointers_.data(), std::uint32_t(capturedPointers_.size()),
                             std::uint32_t(got));
            captured_.fetch_add(std::uint64_t(got), std::memory_order_relaxed);
            continue;
        }
        if (got == 0 || got == -EAGAIN) {
            // Nothing yet: wait for a period, but look at the stop request at least ten times a second.
            if (int waited = snd_pcm_wait(capturePcm_, 100);
                waited < 0 && snd_pcm_recover(capturePcm_, waited, 1) < 0)
                break;
            continue;
        }
        if (snd_pcm_recover(capturePcm_, int(got), 1) < 0) break;
        overruns_.fetch_add(1, std::memory_order_relaxed);
        snd_pcm_start(capturePcm_);
    }
    if (!captureStopRequested_.load()) captureFailed_.store(true);
}

void AlsaAudioDevice::deinterleave(std::uint32_t frames) {
    const std::uint32_t stride = captureChannels_;
    for (std::uint32_t c = 0; c < capturedPlanar_.size(); ++c) {
        float* to = capturedPlanar_[c].data();
        switch (captureType_) {
        case SampleType::float32: {
            const auto* from = reinterpret_cast<const float*>(capturedInterleaved_.data());
            for (std::uint32_t i = 0; i < frames; ++i)
                to[i] = from[i * stride + c];
            break;
        }
        case SampleType::int32: {
            const auto* from = reinterpret_cast<const std::int32_t*>(capturedInterleaved_.data());
            for (std::uint32_t i = 0; i < frames; ++i)
                to[i] = float(double(from[i * stride + c]) / 2147483648.0);
            break;
        }
        case SampleType::int16: {
            const auto* from = reinterpret_cast<const std::int16_t*>(capturedInterleaved_.data());
            for (std::uint32_t i = 0; i < frames; ++i)
                to[i] = float(from[i * stride + c]) / 32768.0f;
            break;
        }
        }
    }
}

} // namespace platform
