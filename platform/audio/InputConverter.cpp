#include "platform/audio/InputConverter.h"

#include "platform/audio/RenderContext.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace platform {

namespace {

// Input frames the sinc converter holds back before its output catches up with its input; measured
// for the medium-quality converter (about 48 input frames at ratios near 1, growing as 1/ratio when
// downsampling), with room to spare so that a cycle's output is complete from the first cycle on.
std::uint32_t converterLookahead(double ratio) {
    return std::uint32_t(std::ceil(64.0 / std::min(ratio, 1.0))) + 16;
}

} // namespace

InputConverter::InputConverter(const AudioFormat& from, const AudioFormat& to,
                               std::uint32_t maximumOutputFrames)
    : from_(from), to_(to), maximumOutputFrames_(maximumOutputFrames) {}

InputConverter::~InputConverter() {
    if (resampler_) src_delete(resampler_);
}

std::unique_ptr<InputConverter> InputConverter::make(const AudioFormat& from, const AudioFormat& to,
                                                     std::uint32_t maximumOutputFrames, double maximumSpeed) {
    if (!from.isValid() || !to.isValid() || maximumOutputFrames == 0) return nullptr;
    std::unique_ptr<InputConverter> converter(new InputConverter(from, to, maximumOutputFrames));
    converter->maximumSpeed_ = std::isfinite(maximumSpeed) ? std::max(maximumSpeed, 1.0) : 1.0;
    const bool ratesDiffer = from.sampleRate() != to.sampleRate();
    if (!ratesDiffer && converter->maximumSpeed_ == 1.0) return converter;

    converter->ratio_ = converter->lastRatio_ = to.sampleRate() / from.sampleRate();
    if (!src_is_valid_ratio(converter->ratio_ / converter->maximumSpeed_) ||
        !src_is_valid_ratio(converter->ratio_ * converter->maximumSpeed_))
        return nullptr;
    int error = 0;
    converter->resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, int(from.channelCount()), &error);
    if (!converter->resampler_) return nullptr;
    converter->engaged_ = ratesDiffer;
    converter->lookahead_ = converterLookahead(converter->ratio_ / converter->maximumSpeed_);
    const std::size_t channels = from.channelCount();
    converter->pendingCapacity_ =
        2 * maximumInputFrames(from, to, maximumOutputFrames, converter->maximumSpeed_);
    converter->pending_.reset(new (std::nothrow) float[converter->pendingCapacity_ * channels]());
    converter->resampled_.reset(new (std::nothrow) float[std::size_t(maximumOutputFrames) * channels]());
    if (!converter->pending_ || !converter->resampled_) return nullptr;
    return converter;
}

std::uint32_t InputConverter::maximumInputFrames(const AudioFormat& from, const AudioFormat& to,
                                                 std::uint32_t outputFrames, double maximumSpeed) {
    maximumSpeed = std::isfinite(maximumSpeed) ? std::max(maximumSpeed, 1.0) : 1.0;
    if (!from.isValid() || !to.isValid() || (from.sampleRate() == to.sampleRate() && maximumSpeed == 1.0))
        return outputFrames;
    const double ratio = to.sampleRate() / from.sampleRate() / maximumSpeed;
    return std::uint32_t(std::ceil(outputFrames / ratio)) + converterLookahead(ratio) + 2;
}

void InputConverter::setSpeed(double speed) {
    if (std::isfinite(speed)) speed_ = std::clamp(speed, 1.0 / maximumSpeed_, maximumSpeed_);
}

namespace {

// destination = gain × source, plus what destination held when adding; the source read every `stride`
// samples. The stride-1 loops are kept apart so that they vectorise.
void converterMix(float* destination, const float* source, std::size_t stride, std::uint32_t frames,
                  float gain, bool add) {
    if (stride == 1) {
        if (add)
            for (std::uint32_t i = 0; i < frames; ++i)
                destination[i] += gain * source[i];
        else
            for (std::uint32_t i = 0; i < frames; ++i)
                destination[i] = gain * source[i];
        return;
    }
    if (add)
        for (std::uint32_t i = 0; i < frames; ++i)
            destination[i] += gain * source[i * stride];
    else
        for (std::uint32_t i = 0; i < frames; ++i)
            destination[i] = gain * source[i * stride];
}

void converterSilence(AudioBufferList& out, std::uint32_t firstChannel, std::uint32_t from,
                      std::uint32_t to) {
    if (to <= from) return;
    for (std::uint32_t c = firstChannel; c < out.numberBuffers; ++c)
        std::memset(out.floatData(c) + from, 0, std::size_t(to - from) * sizeof(float));
}

} // namespace

void InputConverter::accumulate(const float* const* channels, std::size_t stride, std::uint32_t frames,
                                AudioBufferList& out, const float* gains, bool add) const {
    const std::uint32_t inputs = from_.channelCount();
    const std::uint32_t outputs = out.numberBuffers;
    if (inputs == 1) {
        for (std::uint32_t c = 0; c < outputs; ++c)
            converterMix(out.floatData(c), channels[0], stride, frames, gains[c], add);
    } else if (outputs == 1) {
        const float gain = gains[0] / float(inputs);
        for (std::uint32_t c = 0; c < inputs; ++c)
            converterMix(out.floatData(0), channels[c], stride, frames, gain, add || c > 0);
    } else {
        const std::uint32_t shared = std::min(inputs, outputs);
        for (std::uint32_t c = 0; c < shared; ++c)
            converterMix(out.floatData(c), channels[c], stride, frames, gains[c], add);
        if (!add) converterSilence(out, shared, 0, frames);
    }
}

RenderStatus InputConverter::mixInto(RenderContext& context, std::uint32_t bus, std::uint32_t frames,
                                     AudioBufferList& out, const float* gains) {
    return convert(context, bus, frames, out, gains, true);
}

RenderStatus InputConverter::renderInto(RenderContext& context, std::uint32_t bus, std::uint32_t frames,
                                        AudioBufferList& out, const float* gains) {
    // Frames beyond the converter's reach stay silent, as they would under a mix into silence.
    converterSilence(out, 0, std::min(frames, maximumOutputFrames_), frames);
    return convert(context, bus, frames, out, gains, false);
}

RenderStatus InputConverter::convert(RenderContext& context, std::uint32_t bus, std::uint32_t frames,
                                     AudioBufferList& out, const float* gains, bool add) {
    const std::uint32_t channels = from_.channelCount();
    frames = std::min(frames, maximumOutputFrames_);
    const float* pointers[AudioFormat::maxChannels];
    if (resampler_ && !engaged_ && speed_ != 1.0) {
        // The source's frames run on unbroken: the resampler takes over from the next frame on.
        engaged_ = true;
        lastRatio_ = ratio_ / speed_;
    }
    if (!engaged_) {
        const AudioBufferList* data = nullptr;
        const RenderStatus status = context.pullInput(bus, frames, data);
        if (!data || data->numberBuffers < channels) {
            if (!add) converterSilence(out, 0, 0, frames);
            return status;
        }
        for (std::uint32_t c = 0; c < channels; ++c)
            pointers[c] = data->floatData(c);
        accumulate(pointers, 1, frames, out, gains, add);
        return status;
    }

    // Pull once per cycle just what keeps the converter's input ahead of the output made so far, so
    // that input and output stay in the rates' ratio over any number of cycles. libsamplerate moves
    // from the last cycle's ratio to this one's across the cycle.
    const double ratio = ratio_ / speed_;
    framesConsumed_ += 0.5 * frames * (1.0 / lastRatio_ + 1.0 / ratio);
    lastRatio_ = ratio;
    const double needed = std::ceil(framesConsumed_) + lookahead_;
    std::int64_t wanted = std::max<std::int64_t>(0, std::int64_t(needed) - framesPulled_);
    wanted = std::min<std::int64_t>(wanted, pendingCapacity_ - pendingFrames_);
    wanted =
        std::min<std::int64_t>(wanted, maximumInputFrames(from_, to_, maximumOutputFrames_, maximumSpeed_));
    RenderStatus status = RenderStatus::success;
    if (wanted > 0) {
        const AudioBufferList* data = nullptr;
        status = context.pullInput(bus, std::uint32_t(wanted), data);
        float* tail = pending_.get() + std::size_t(pendingFrames_) * channels;
        if (data && data->numberBuffers >= channels) {
            for (std::uint32_t c = 0; c < channels; ++c) {
                const float* source = data->floatData(c);
                for (std::int64_t i = 0; i < wanted; ++i)
                    tail[i * channels + c] = source[i];
            }
        } else {
            // A silent or failed input still advances, so the timing holds when it comes back.
            std::memset(tail, 0, std::size_t(wanted) * channels * sizeof(float));
        }
        pendingFrames_ += std::uint32_t(wanted);
        framesPulled_ += wanted;
    }
    resample(frames, ratio);
    for (std::uint32_t c = 0; c < channels; ++c)
        pointers[c] = resampled_.get() + c;
    accumulate(pointers, channels, frames, out, gains, add);
    return status;
}

std::uint32_t InputConverter::resample(std::uint32_t frames, double ratio) {
    const std::uint32_t channels = from_.channelCount();
    std::uint32_t made = 0;
    while (made < frames) {
        SRC_DATA data{};
        data.data_in = pending_.get();
        data.input_frames = pendingFrames_;
        data.data_out = resampled_.get() + std::size_t(made) * channels;
        data.output_frames = frames - made;
        data.src_ratio = ratio;
        data.end_of_input = 0;
        if (src_process(resampler_, &data) != 0) break;
        const auto used = std::uint32_t(data.input_frames_used);
        if (used > 0) {
            std::memmove(pending_.get(), pending_.get() + std::size_t(used) * channels,
                         std::size_t(pendingFrames_ - used) * channels * sizeof(float));
            pendingFrames_ -= used;
        }
        made += std::uint32_t(data.output_frames_gen);
        if (data.output_frames_gen == 0 && used == 0) break;
    }
    if (made < frames)
        std::memset(resampled_.get() + std::size_t(made) * channels, 0,
                    std::size_t(frames - made) * channels * sizeof(float));
    return made;
}

} // namespace platform
