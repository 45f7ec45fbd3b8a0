#include "RozezEru/Internals/AudioSignal.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <limits>

namespace rozezeru {

std::optional<AudioSignal> loadAudioSignal(const platform::Url& audioURL) {
    auto file = platform::AudioFile::openForReading(audioURL.path());
    if (!file) {
        Log(LogSite("loadAudioSignal(audioURL:)", LogType::error),
            "Error in Load Audio Signal: could not read url into audio file");
        return std::nullopt;
    }
    const auto& source = file.value();
    auto format = platform::AudioFormat::standard(source->processingFormat().sampleRate(),
                                                  source->processingFormat().channelCount());
    if (!format) return std::nullopt;
    const std::int64_t length = source->length();
    // A buffer holds at most 2^32 − 1 frames.
    if (length < 0 || length > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    auto buffer = platform::PcmBuffer::make(*format, static_cast<std::uint32_t>(length));
    if (!buffer) return std::nullopt;
    if (!source->read(*buffer)) {
        Log(LogSite("loadAudioSignal(audioURL:)", LogType::error),
            "Error in Load Audio Signal: could not read audio file into buffer");
        return std::nullopt;
    }
    const float* first = buffer->channel(0);
    return AudioSignal{std::vector<float>(first, first + buffer->frameLength()), format->sampleRate(), length};
}

} // namespace rozezeru
