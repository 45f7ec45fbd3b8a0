#pragma once
// Describes linear-PCM audio: sample type, rate, channel count and layout in memory.
// A plain value; any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

enum class CommonFormat { pcmFloat32, pcmFloat64, pcmInt16, pcmInt32 };

class AudioFormat {
public:
    static constexpr std::uint32_t maxChannels = 64;

    // An empty format (rate 0, no channels); `isValid()` is false.
    AudioFormat() = default;

    // The standard format: 32-bit float, non-interleaved. Empty when the rate is not a positive finite
    // number or the channel count is 0 or above maxChannels.
    static std::optional<AudioFormat> standard(double sampleRate, std::uint32_t channels);
    static std::optional<AudioFormat> make(CommonFormat common, double sampleRate, std::uint32_t channels,
                                           bool interleaved);

    bool isValid() const { return channels_ > 0; }
    double sampleRate() const { return sampleRate_; }
    std::uint32_t channelCount() const { return channels_; }
    CommonFormat commonFormat() const { return common_; }
    bool isInterleaved() const { return interleaved_; }
    bool isStandard() const { return common_ == CommonFormat::pcmFloat32 && !interleaved_ && isValid(); }
    std::uint32_t bytesPerSample() const;
    // Bytes of one frame in one buffer: all channels when interleaved, one otherwise.
    std::uint32_t bytesPerFrame() const;
    // Number of separate buffers the format's audio occupies.
    std::uint32_t bufferCount() const { return interleaved_ ? 1 : channels_; }

    // "<2 ch, 44100 Hz, Float32, deinterleaved>"
    std::string description() const;

    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;

private:
    AudioFormat(CommonFormat common, double rate, std::uint32_t channels, bool interleaved)
        : common_(common), sampleRate_(rate), channels_(channels), interleaved_(interleaved) {}

    CommonFormat common_ = CommonFormat::pcmFloat32;
    double sampleRate_ = 0.0;
    std::uint32_t channels_ = 0;
    bool interleaved_ = false;
};

} // namespace platform
