// AudioPlayer: filling the buffer of buffered mode from the file.

#include "RozezEru/AudioFiles/PcmBufferProcessing.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Url.h"
#include "platform/player/AudioPlayerNode.h"

#include <algorithm>
#include <limits>

namespace rozezeru {

namespace {

// Seconds times rate as a frame number, truncated toward zero; none outside the signed 64-bit range.
std::optional<std::int64_t> bufferingFrame(double seconds, double rate) {
    const double product = seconds * rate;
    if (!(product > -9.2e18 && product < 9.2e18)) return std::nullopt;
    return std::int64_t(product);
}

} // namespace

void AudioPlayer::updateBuffer() {
    if (!file_) {
        if (!buffer_)
            Log(LogSite("updateBuffer()", LogType::error),
                "It's not possible to create edited buffers without a file reference.");
        return;
    }
    const double rate = file_->fileFormat().sampleRate;
    const double total = duration();
    std::optional<std::int64_t> startFrame = bufferingFrame(editStartTime_, rate);
    std::optional<std::int64_t> endFrame = bufferingFrame(editEndTime_ > 0.0 ? editEndTime_ : total, rate);
    if (isReversed_) {
        // Played backwards, the range is read from the mirrored place. An edit end of 0 stands for
        // the end of the file here too, so that the mirrored range starts at the file's start.
        startFrame = bufferingFrame(total - (editEndTime_ > 0.0 ? editEndTime_ : total), rate);
        endFrame = bufferingFrame(total - editStartTime_, rate);
    }
    if (file_->length() < 1) {
        Log(LogSite("updateBuffer()", LogType::error),
            "Could not set PCM buffer in " +
                platform::Url::fileURLWithPath(file_->path()).lastPathComponent() + " length = 0.");
        return;
    }
    if (!startFrame || !endFrame || *endFrame - *startFrame < 1) {
        Log(LogSite("updateBuffer()", LogType::error),
            "Error, endFrame must be after startFrame. Unable to fill buffer.", "startFrame", startFrame,
            "endFrame", endFrame);
        return;
    }
    const std::int64_t count = *endFrame - *startFrame;
    // A buffer counts its frames in 32 bits; a longer range would be read modulo 2^32.
    if (count > std::int64_t(std::numeric_limits<std::uint32_t>::max())) {
        Log(LogSite("updateBuffer()", LogType::error), "Unable to fill buffer: the range holds", count,
            "frames, more than 4294967295");
        return;
    }
    frameCount_ = std::uint32_t(count);

    std::shared_ptr<platform::PcmBuffer> read =
        platform::PcmBuffer::make(file_->processingFormat(), frameCount_);
    if (!read) return;
    file_->setFramePosition(*startFrame);
    if (auto done = file_->read(*read, frameCount_); !done) {
        Log(LogSite("updateBuffer()", LogType::error),
            "Couldn't read data into buffer. " + done.error().message);
        return;
    }

    const std::uint32_t playerChannels = playerNode_->outputFormat(0).channelCount();
    const std::uint32_t readChannels = read->format().channelCount();
    if (readChannels < playerChannels) {
        Log(LogSite("updateBuffer()"), "Copying mono data to 2 channel buffer...", read->format());
        // The file's rate, not the player node's: a rate that differs is the connection's to convert.
        const auto wideFormat = platform::AudioFormat::standard(read->format().sampleRate(), playerChannels);
        std::shared_ptr<platform::PcmBuffer> wide =
            wideFormat ? platform::PcmBuffer::make(*wideFormat, frameCount_) : nullptr;
        if (!wide || !read->floatChannelData()) {
            Log(LogSite("updateBuffer()", LogType::error), "Failed to setup mono conversion buffer");
            return;
        }
        // Channels the file has stay as they are; the others repeat the first one.
        for (std::uint32_t c = 0; c < playerChannels; ++c) {
            const float* from = read->channel(c < readChannels ? c : 0);
            std::copy(from, from + read->frameLength(), wide->channel(c));
        }
        wide->setFrameLength(read->frameLength());
        setBuffer(std::move(wide));
    } else {
        setBuffer(std::move(read));
    }

    if (isReversed_) {
        Log(LogSite("updateBuffer()"), "Reversing...");
        if (isBuffered_ && buffer_) {
            if (std::shared_ptr<const platform::PcmBuffer> reversed = reverse(*buffer_))
                setBuffer(std::move(reversed));
        }
    }
    startingFrame_ = *startFrame;
    endingFrame_ = *endFrame;
}

} // namespace rozezeru
