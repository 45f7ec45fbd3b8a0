#include "Source/session/AudioDuration.h"

#include "platform/files/AudioFile.h"

namespace vantle {

std::optional<AudioFileLength> audioFileLength(const platform::Url& url) {
    if (!url.isFileURL()) return std::nullopt;
    auto file = platform::AudioFile::openForReading(url.path());
    if (!file) return std::nullopt;
    double rate = (*file)->processingFormat().sampleRate();
    if (!(rate > 0)) return std::nullopt;
    return AudioFileLength{static_cast<double>((*file)->length()) / rate,
                           (*file)->isComplete() && (*file)->isLengthExact(), !(*file)->isLengthExact(),
                           (*file)->archiveMember()};
}

} // namespace vantle
