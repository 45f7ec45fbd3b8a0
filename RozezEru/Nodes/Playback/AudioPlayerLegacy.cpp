// AudioPlayer: the older scheduling entry points, kept for callers written against them.

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

namespace rozezeru {

void AudioPlayer::scheduleBuffer(std::shared_ptr<const platform::PcmBuffer> buffer,
                                 std::optional<platform::AudioTime> at, BufferOptions options) {
    setBuffer(std::move(buffer));
    setLooping(options == BufferOptions::loops);
    (void)schedule(at, CompletionCallbackType::dataPlayedBack);
}

void AudioPlayer::scheduleBuffer(const std::string& path, std::optional<platform::AudioTime> at,
                                 BufferOptions options) {
    std::shared_ptr<const platform::PcmBuffer> buffer;
    if (auto read = bufferFromFile(path); read) buffer = std::move(read.value());
    if (!buffer) {
        Log(LogSite("scheduleBuffer(url:at:options:)", LogType::error), "Failed to create buffer");
        return;
    }
    scheduleBuffer(std::move(buffer), at, options);
}

void AudioPlayer::scheduleFile(std::shared_ptr<platform::AudioFile> file,
                               std::optional<platform::AudioTime> at) {
    setFile(std::move(file));
    (void)schedule(at, CompletionCallbackType::dataPlayedBack);
}

} // namespace rozezeru
