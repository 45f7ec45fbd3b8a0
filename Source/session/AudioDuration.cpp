#include "Source/session/AudioDuration.h"

#include "platform/foundation/Files.h"

#include <cstdint>
#include <cstring>

namespace vantle {

namespace {

std::uint32_t durationLe32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

// TEMPORARY: reads RIFF/WAVE only, until the audio-file reader is available.
std::optional<double> audioFileDuration(const platform::Url& url) {
    if (!url.isFileURL()) return std::nullopt;
    platform::Result<platform::Bytes> bytes = platform::readFile(url.path());
    if (!bytes || bytes->size() < 12) return std::nullopt;
    const std::uint8_t* data = bytes->data();
    if (std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0) return std::nullopt;
    std::size_t at = 12;
    std::uint32_t bytesPerSecond = 0;
    while (at + 8 <= bytes->size()) {
        std::uint32_t size = durationLe32(data + at + 4);
        if (std::memcmp(data + at, "fmt ", 4) == 0 && size >= 16 && at + 8 + 16 <= bytes->size())
            bytesPerSecond = durationLe32(data + at + 8 + 8);
        if (std::memcmp(data + at, "data", 4) == 0) {
            if (bytesPerSecond == 0) return std::nullopt;
            return double(size) / double(bytesPerSecond);
        }
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

} // namespace vantle
