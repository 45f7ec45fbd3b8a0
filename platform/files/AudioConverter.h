#pragma once
// Converts a stream of PCM buffers from one rate and channel count to another (stands in for the
// platform's audio converter between PCM formats): channel mapping, then sample-rate conversion
// through libsamplerate. Both ends are 32-bit float, non-interleaved. For the file converter and
// the asset writer; one thread at a time, not the render thread (it allocates).
//
// Channel mapping: a mono input feeds every output channel; several input channels into a mono
// output are averaged; otherwise channel i feeds channel i and the rest is dropped or silent.
// Length: a stream of n frames comes out as round(n × output rate / input rate) frames exactly, the
// resampler's delay taken out, so that durations survive a change of rate.

#include "platform/audio/AudioFormat.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct SRC_STATE_tag;

namespace platform {

class PcmBuffer;

class AudioConverter {
public:
    // Receives each converted block; its error ends the conversion and is passed on.
    using Sink = std::function<Result<void>(const PcmBuffer&)>;

    // Fails for formats that are not standard, or rates too far apart for the resampler (beyond 256:1).
    static Result<std::unique_ptr<AudioConverter>> make(const AudioFormat& from, const AudioFormat& to);
    ~AudioConverter();
    AudioConverter(const AudioConverter&) = delete;
    AudioConverter& operator=(const AudioConverter&) = delete;

    const AudioFormat& from() const { return from_; }
    const AudioFormat& to() const { return to_; }

    // Converts the buffer's valid frames (in the `from` format) and hands what is ready to `sink`.
    Result<void> convert(const PcmBuffer& input, const Sink& sink);
    // Hands the rest to `sink`; afterwards the converter starts a new stream.
    Result<void> finish(const Sink& sink);

private:
    AudioConverter(const AudioFormat& from, const AudioFormat& to);
    // Maps `frames` frames of `input` from `offset` into `mapped_`, interleaved in the output's channels.
    void map(const PcmBuffer& input, std::uint32_t offset, std::uint32_t frames);
    Result<void> resample(std::uint32_t frames, bool end, const Sink& sink);
    Result<void> emit(const float* interleaved, std::uint32_t frames, const Sink& sink);

    AudioFormat from_;
    AudioFormat to_;
    double ratio_;
    SRC_STATE_tag* resampler_ = nullptr;
    std::vector<float> mapped_;
    std::vector<float> resampled_;
    std::unique_ptr<PcmBuffer> out_;
    std::int64_t taken_ = 0;
    std::int64_t made_ = 0;
};

} // namespace platform
