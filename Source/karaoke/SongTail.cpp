#include "Source/karaoke/SongTail.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>

namespace vantle {

std::optional<double> SongTail::quietFrom(const std::vector<float>& windowPeaks, double offsetSeconds) {
    if (windowPeaks.empty()) return std::nullopt;
    // The loud level is one most of the song reaches, not a single peak.
    std::vector<float> sorted = windowPeaks;
    const auto loudAt = sorted.begin() + static_cast<long>(sorted.size() * 9 / 10);
    std::nth_element(sorted.begin(), loudAt, sorted.end());
    const double loudDb = 20.0 * std::log10(std::max(1e-9f, *loudAt));
    // Nothing heard in the whole span (a silent file, a tail longer than the span): nothing to go by.
    if (loudDb < silentDbfs) return std::nullopt;
    const double quietDb = std::max(silentDbfs, loudDb - fadedBelowLoudDb);
    const float quiet = static_cast<float>(std::pow(10.0, quietDb / 20.0));
    std::size_t end = windowPeaks.size();
    while (end > 0 && windowPeaks[end - 1] < quiet)
        --end;
    if (end == windowPeaks.size()) return std::nullopt;
    return offsetSeconds + double(end) * windowSeconds;
}

std::optional<double> SongTail::audioEnd(const std::string& path) {
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) return std::nullopt;
    platform::AudioFile& file = **opened;
    const double rate = file.processingFormat().sampleRate();
    const std::int64_t window = std::max<std::int64_t>(1, std::llround(rate * windowSeconds));
    const std::int64_t start =
        std::max<std::int64_t>(0, file.length() - std::llround(rate * readSeconds)) / window * window;
    file.setFramePosition(start);
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), static_cast<std::uint32_t>(window));
    if (!buffer) return std::nullopt;
    const std::uint32_t channels = file.processingFormat().channelCount();
    std::vector<float> peaks;
    for (;;) {
        if (!file.read(*buffer, static_cast<std::uint32_t>(window))) return std::nullopt;
        const std::uint32_t frames = buffer->frameLength();
        if (frames == 0) break;
        float peak = 0;
        for (std::uint32_t c = 0; c < channels; ++c) {
            const float* samples = buffer->channel(c);
            for (std::uint32_t i = 0; i < frames; ++i)
                peak = std::max(peak, std::abs(samples[i]));
        }
        peaks.push_back(peak);
    }
    return quietFrom(peaks, double(start) / rate);
}

} // namespace vantle
