#include "platform/files/AudioConverter.h"

#include "platform/audio/PcmBuffer.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr std::uint32_t converterBlockFrames = 8192;

} // namespace

Result<std::unique_ptr<AudioConverter>> AudioConverter::make(const AudioFormat& from, const AudioFormat& to) {
    auto refuse = [&](const std::string& why) {
        return Error::make("platform.audioconverter",
                           "Cannot convert " + from.description() + " to " + to.description() + ": " + why);
    };
    if (!from.isStandard() || !to.isStandard()) return refuse("both formats must be standard");
    const double ratio = to.sampleRate() / from.sampleRate();
    if (!(ratio >= 1.0 / 256.0 && ratio <= 256.0)) return refuse("the rates are too far apart");
    std::unique_ptr<AudioConverter> converter(new AudioConverter(from, to));
    if (ratio != 1.0) {
        int error = 0;
        converter->resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, int(to.channelCount()), &error);
        if (!converter->resampler_) return refuse(src_strerror(error));
    }
    converter->out_ = PcmBuffer::make(to, converterBlockFrames);
    if (!converter->out_) return refuse("out of memory");
    return converter;
}

AudioConverter::AudioConverter(const AudioFormat& from, const AudioFormat& to)
    : from_(from), to_(to), ratio_(to.sampleRate() / from.sampleRate()) {}

AudioConverter::~AudioConverter() {
    if (resampler_) src_delete(resampler_);
}

void AudioConverter::map(const PcmBuffer& input, std::uint32_t offset, std::uint32_t frames) {
    const std::uint32_t in = from_.channelCount(), out = to_.channelCount();
    mapped_.assign(std::size_t(frames) * out, 0.0f);
    for (std::uint32_t c = 0; c < out; ++c) {
        float* target = mapped_.data() + c;
        if (out == 1 && in > 1) {
            for (std::uint32_t k = 0; k < in; ++k) {
                const float* source = input.channel(k) + offset;
                for (std::uint32_t i = 0; i < frames; ++i)
                    target[std::size_t(i) * out] += source[i] / float(in);
            }
            continue;
        }
        const std::uint32_t k = in == 1 ? 0 : c;
        if (k >= in) continue;
        const float* source = input.channel(k) + offset;
        for (std::uint32_t i = 0; i < frames; ++i)
            target[std::size_t(i) * out] = source[i];
    }
}

Result<void> AudioConverter::emit(const float* interleaved, std::uint32_t frames, const Sink& sink) {
    const std::uint32_t channels = to_.channelCount();
    while (frames > 0) {
        const std::uint32_t n = std::min(frames, converterBlockFrames);
        for (std::uint32_t c = 0; c < channels; ++c) {
            float* target = out_->channel(c);
            for (std::uint32_t i = 0; i < n; ++i)
                target[i] = interleaved[std::size_t(i) * channels + c];
        }
        out_->setFrameLength(n);
        if (auto taken = sink(*out_); !taken) return taken;
        made_ += n;
        interleaved += std::size_t(n) * channels;
        frames -= n;
    }
    return {};
}

Result<void> AudioConverter::resample(std::uint32_t frames, bool end, const Sink& sink) {
    const std::uint32_t channels = to_.channelCount();
    // Never ahead of the exact length of what came in so far.
    const auto limit = [&] { return std::llround(double(taken_) * ratio_); };
    const auto room = std::uint32_t(std::ceil(double(std::max<std::uint32_t>(frames, 1)) * ratio_)) + 64;
    resampled_.resize(std::size_t(room) * channels);
    SRC_DATA data{};
    data.data_in = mapped_.data();
    data.input_frames = long(frames);
    data.src_ratio = ratio_;
    data.end_of_input = end ? 1 : 0;
    for (;;) {
        data.data_out = resampled_.data();
        data.output_frames = long(room);
        if (int error = src_process(resampler_, &data); error != 0)
            return Error::make("platform.audioconverter",
                               std::string("Cannot resample: ") + src_strerror(error));
        data.data_in += std::size_t(data.input_frames_used) * channels;
        data.input_frames -= data.input_frames_used;
        const auto usable =
            std::uint32_t(std::clamp<std::int64_t>(limit() - made_, 0, data.output_frames_gen));
        if (auto sent = emit(resampled_.data(), usable, sink); !sent) return sent;
        if (data.output_frames_gen == 0 && data.input_frames == 0) break;
        if (!end && data.input_frames == 0) break;
    }
    return {};
}

Result<void> AudioConverter::convert(const PcmBuffer& input, const Sink& sink) {
    std::uint32_t done = 0;
    while (done < input.frameLength()) {
        const std::uint32_t n = std::min(input.frameLength() - done, converterBlockFrames);
        map(input, done, n);
        taken_ += n;
        done += n;
        auto sent = resampler_ ? resample(n, false, sink) : emit(mapped_.data(), n, sink);
        if (!sent) return sent;
    }
    return {};
}

Result<void> AudioConverter::finish(const Sink& sink) {
    Result<void> result;
    if (resampler_) {
        mapped_.clear();
        result = resample(0, true, sink);
        // What the resampler's flush fell short of the exact length is silence.
        const std::int64_t missing = std::llround(double(taken_) * ratio_) - made_;
        if (result && missing > 0) {
            std::vector<float> silence(std::size_t(missing) * to_.channelCount(), 0.0f);
            result = emit(silence.data(), std::uint32_t(missing), sink);
        }
        src_reset(resampler_);
    }
    taken_ = made_ = 0;
    return result;
}

} // namespace platform
