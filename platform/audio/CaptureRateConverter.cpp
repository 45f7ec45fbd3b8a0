#include "platform/audio/CaptureRateConverter.h"

#include "platform/audio/CaptureRing.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// Input frames handed to the resampler at a time, whatever a capture delivers at once.
constexpr std::uint32_t captureConverterChunk = 256;

} // namespace

CaptureRateConverter::CaptureRateConverter(double captureRate, double ringRate, std::uint32_t channels)
    : captureRate_(captureRate), ringRate_(ringRate), channels_(channels) {}

CaptureRateConverter::~CaptureRateConverter() {
    if (resampler_) src_delete(resampler_);
}

std::unique_ptr<CaptureRateConverter> CaptureRateConverter::make(double captureRate, double ringRate,
                                                                 std::uint32_t channels) {
    if (!(captureRate > 0.0) || !(ringRate > 0.0) || channels == 0 ||
        !src_is_valid_ratio(ringRate / captureRate))
        return nullptr;
    std::unique_ptr<CaptureRateConverter> converter(
        new CaptureRateConverter(captureRate, ringRate, channels));
    int error = 0;
    converter->resampler_ = src_new(SRC_SINC_MEDIUM_QUALITY, int(channels), &error);
    if (!converter->resampler_) return nullptr;
    // A chunk's output, with room for what the resampler held back from the chunk before.
    converter->outputCapacity_ =
        std::uint32_t(std::ceil(captureConverterChunk * ringRate / captureRate)) + captureConverterChunk;
    converter->interleavedIn_.assign(std::size_t(captureConverterChunk) * channels, 0.0f);
    converter->interleavedOut_.assign(std::size_t(converter->outputCapacity_) * channels, 0.0f);
    converter->planar_.assign(channels, std::vector<float>(converter->outputCapacity_, 0.0f));
    for (const auto& channel : converter->planar_)
        converter->planarPointers_.push_back(channel.data());
    return converter;
}

void CaptureRateConverter::write(CaptureRing& ring, const float* const* channels, std::uint32_t channelCount,
                                 std::uint32_t frames) {
    const double ratio = ringRate_ / captureRate_;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t chunk = std::min(frames - done, captureConverterChunk);
        for (std::uint32_t c = 0; c < channels_; ++c) {
            const float* from = c < channelCount ? channels[c] : nullptr;
            float* to = interleavedIn_.data() + c;
            for (std::uint32_t i = 0; i < chunk; ++i)
                to[std::size_t(i) * channels_] = from ? from[done + i] : 0.0f;
        }
        const float* in = interleavedIn_.data();
        long left = long(chunk);
        while (left > 0) {
            SRC_DATA data{};
            data.data_in = in;
            data.input_frames = left;
            data.data_out = interleavedOut_.data();
            data.output_frames = long(outputCapacity_);
            data.src_ratio = ratio;
            if (src_process(resampler_, &data) != 0) return;
            const auto made = std::uint32_t(data.output_frames_gen);
            for (std::uint32_t c = 0; c < channels_; ++c) {
                const float* from = interleavedOut_.data() + c;
                float* to = planar_[c].data();
                for (std::uint32_t i = 0; i < made; ++i)
                    to[i] = from[std::size_t(i) * channels_];
            }
            if (made > 0) ring.write(planarPointers_.data(), channels_, made);
            in += std::size_t(data.input_frames_used) * channels_;
            left -= data.input_frames_used;
            if (data.input_frames_used == 0 && made == 0) break;
        }
        done += chunk;
    }
}

} // namespace platform
