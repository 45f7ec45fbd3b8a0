#include "platform/audio/AudioFormat.h"

#include <cmath>
#include <cstdio>

namespace platform {

std::optional<AudioFormat> AudioFormat::standard(double sampleRate, std::uint32_t channels) {
    return make(CommonFormat::pcmFloat32, sampleRate, channels, false);
}

std::optional<AudioFormat> AudioFormat::make(CommonFormat common, double sampleRate, std::uint32_t channels,
                                             bool interleaved) {
    if (!std::isfinite(sampleRate) || sampleRate <= 0.0) return std::nullopt;
    if (channels == 0 || channels > maxChannels) return std::nullopt;
    return AudioFormat(common, sampleRate, channels, interleaved && channels > 1);
}

std::uint32_t AudioFormat::bytesPerSample() const {
    switch (common_) {
    case CommonFormat::pcmFloat32: return 4;
    case CommonFormat::pcmFloat64: return 8;
    case CommonFormat::pcmInt16: return 2;
    case CommonFormat::pcmInt32: return 4;
    }
    return 4;
}

std::uint32_t AudioFormat::bytesPerFrame() const {
    return interleaved_ ? bytesPerSample() * channels_ : bytesPerSample();
}

std::string AudioFormat::description() const {
    const char* type = "Float32";
    switch (common_) {
    case CommonFormat::pcmFloat32: type = "Float32"; break;
    case CommonFormat::pcmFloat64: type = "Float64"; break;
    case CommonFormat::pcmInt16: type = "Int16"; break;
    case CommonFormat::pcmInt32: type = "Int32"; break;
    }
    char text[96];
    std::snprintf(text, sizeof text, "<%u ch, %g Hz, %s, %s>", channels_, sampleRate_, type,
                  interleaved_ ? "interleaved" : "deinterleaved");
    return text;
}

} // namespace platform
