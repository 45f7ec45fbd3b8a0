// AudioPlayer: putting the file's edit range or the buffer on the player node, and the end of the
// scheduled audio.

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/player/AudioPlayerNode.h"

#include <algorithm>
#include <limits>
#include <string>

namespace rozezeru {

bool AudioPlayer::schedule(std::optional<platform::AudioTime> at,
                           CompletionCallbackType completionCallbackType) {
    status_ = NodeStatus::Playback::scheduling;
    if (isBuffered_) {
        updateBuffer();
        return scheduleBuffer(at, completionCallbackType);
    }
    if (file_) return scheduleSegment(at, completionCallbackType);
    Log(LogSite("schedule(at:completionCallbackType:)", LogType::error),
        "The player needs a file or a valid buffer to schedule");
    return false;
}

bool AudioPlayer::scheduleBuffer(std::optional<platform::AudioTime> at,
                                 CompletionCallbackType completionCallbackType) {
    const platform::AudioFormat playerFormat = playerNode_->outputFormat(0);
    const std::optional<platform::AudioFormat> bufferFormat =
        buffer_ ? std::optional(buffer_->format()) : std::nullopt;
    if (bufferFormat != std::optional(playerFormat)) {
        Log(LogSite("scheduleBuffer(at:completionCallbackType:)"),
            "Format of the buffer doesn't match the player");
        Log(LogSite("scheduleBuffer(at:completionCallbackType:)"), "Player", playerFormat, "Buffer",
            bufferFormat);
        updateBuffer();
    }
    if (!buffer_) {
        Log(LogSite("scheduleBuffer(at:completionCallbackType:)"), "Failed to fill buffer");
        return false;
    }
    // A buffer the connection cannot play as it is (another rate, or other channels than one) gets
    // a connection in its own format: the mixer node converts it.
    if (buffer_->format().isStandard()) fitConnection(buffer_->format());
    retireCompletions();
    const BufferOptions options =
        isLooping_ ? BufferOptions::interrupts | BufferOptions::loops : BufferOptions::interrupts;
    if (auto scheduled =
            playerNode_->scheduleBuffer(buffer_, at, options, completionCallbackType, makeCompletion());
        !scheduled) {
        Log(LogSite("scheduleBuffer(at:completionCallbackType:)", LogType::error), scheduled.error().message);
        return false;
    }
    playerNode_->prepare(buffer_->frameLength());
    return true;
}

void AudioPlayer::setSegmentFrameLimit(std::int64_t frames) {
    segmentFrameLimit_ = std::clamp<std::int64_t>(frames, 1, std::numeric_limits<std::uint32_t>::max());
}

bool AudioPlayer::scheduleSegment(std::optional<platform::AudioTime> at,
                                  CompletionCallbackType completionCallbackType) {
    if (!file_) {
        Log(LogSite("scheduleSegment(at:completionCallbackType:)"), "File is nil");
        return false;
    }
    const double rate = file_->fileFormat().sampleRate;
    const std::int64_t length = file_->length();
    constexpr double frameLimit = 9.2e18; // inside the signed 64-bit range
    const double startProduct = rate * editStartTime_;
    const double endProduct = rate * editEndTime_;
    const std::int64_t startFrame = startProduct < frameLimit ? std::int64_t(startProduct) : length;
    std::int64_t endFrame = endProduct < frameLimit ? std::int64_t(endProduct) : length;
    if (endFrame == 0) endFrame = length;
    const std::int64_t total = (length - startFrame) - (length - endFrame);
    if (total < 1) {
        Log(LogSite("scheduleSegment(at:completionCallbackType:)", LogType::error),
            "Unable to schedule file. totalFrames to play: " + std::to_string(total) +
                ". file.length: " + std::to_string(length));
        return false;
    }
    fitConnection(file_->processingFormat());
    retireCompletions();
    if (auto scheduled =
            scheduleFrames(startFrame, std::min(length, startFrame + total), at, completionCallbackType);
        !scheduled) {
        Log(LogSite("scheduleSegment(at:completionCallbackType:)", LogType::error),
            scheduled.error().message);
        return false;
    }
    playerNode_->prepare(
        std::uint32_t(std::min<std::int64_t>(total, std::numeric_limits<std::uint32_t>::max())));
    status_ = NodeStatus::Playback::stopped;
    return true;
}

platform::Result<void> AudioPlayer::scheduleFrames(std::int64_t start, std::int64_t end,
                                                   std::optional<platform::AudioTime> at,
                                                   CompletionCallbackType completionCallbackType) {
    end = std::min(end, file_->length());
    const std::int64_t first = std::min<std::int64_t>(end - start, segmentFrameLimit_);
    if (auto scheduled = playerNode_->scheduleSegment(*file_, start, std::uint32_t(first), at,
                                                      completionCallbackType, makeCompletion());
        !scheduled)
        return scheduled;
    scheduledEndFrame_ = start + first;
    playEndFrame_ = end;
    scheduledCallbackType_ = completionCallbackType;
    segmentsQueued_ = 1;
    // The next segment waits on the node before this one ends, so that the two play without a gap.
    if (scheduledEndFrame_ < playEndFrame_) (void)appendSegment(*file_, playEndFrame_);
    return {};
}

namespace {

// File segments a grown file keeps on the player node at most: each holds a reader and up to the
// node's streaming buffer, and each waiting one is at least a report of the file's growth long.
constexpr int kGrownSegmentsQueued = 4;

} // namespace

bool AudioPlayer::takeGrownFile(std::shared_ptr<platform::AudioFile> grown) {
    if (!grown || !file_ || isBuffered_ || isReversed_ || seeking_->load()) return false;
    if (!(grown->processingFormat() == file_->processingFormat()) ||
        grown->fileFormat().sampleRate != file_->fileFormat().sampleRate || grown->length() < file_->length())
        return false;
    const bool toTheEnd = !(editEndTime_ < duration());
    // A writer far ahead of the player would otherwise pile up a reader and a ring per step: past a few
    // segments, the new frames follow as each segment ends.
    if (followsGrowth() && segmentsQueued_ < kGrownSegmentsQueued && !appendSegment(*grown, grown->length()))
        return false;
    file_ = std::move(grown);
    if (toTheEnd) editEndTime_ = duration();
    return true;
}

bool AudioPlayer::appendSegment(const platform::AudioFile& file, std::int64_t until) {
    const std::int64_t from = scheduledEndFrame_;
    const std::int64_t frames =
        std::min<std::int64_t>(std::min(until, file.length()) - from, segmentFrameLimit_);
    if (frames <= 0) return true;
    // The segment scheduled last is no longer the end of play: the new one is.
    const std::uint64_t last = lastItem_;
    if (auto appended = playerNode_->scheduleSegment(file, from, std::uint32_t(frames), std::nullopt,
                                                     scheduledCallbackType_, makeCompletion());
        !appended) {
        Log(LogSite("appendSegment(_:)", LogType::error), appended.error().message);
        lastItem_ = last;
        return false;
    }
    scheduledEndFrame_ = from + frames;
    ++segmentsQueued_;
    return true;
}

void AudioPlayer::segmentEnded() {
    --segmentsQueued_;
    if (!file_) return;
    const std::int64_t until = followsGrowth() ? std::max(playEndFrame_, file_->length()) : playEndFrame_;
    if (scheduledEndFrame_ < until) (void)appendSegment(*file_, until);
}

bool AudioPlayer::followsGrowth() const {
    const bool scheduled =
        status_ == NodeStatus::Playback::playing || status_ == NodeStatus::Playback::paused;
    return scheduled && !(editEndTime_ < duration());
}

platform::PlayerCompletionHandler AudioPlayer::makeCompletion() {
    std::weak_ptr<AudioPlayer> weak = weak_from_this();
    std::shared_ptr<std::atomic<bool>> seeking = seeking_;
    const std::uint64_t generation = completionGeneration_;
    const std::uint64_t item = ++lastItem_;
    // Runs on the platform's completion thread (or inside the player node's stop()): it touches
    // nothing of the player there but the seeking flag, and hands the rest to the main thread.
    return [weak = std::move(weak), seeking = std::move(seeking), generation, item](CompletionCallbackType) {
        if (seeking->load()) return;
        auto deliver = [weak, generation, item] {
            const auto player = weak.lock();
            if (!player || player->completionGeneration_ != generation) return;
            if (item == player->lastItem_)
                player->internalCompletionHandler();
            else
                player->segmentEnded();
        };
        if (platform::mainQueue().isMainThread())
            deliver();
        else
            platform::mainQueue().async(std::move(deliver));
    };
}

void AudioPlayer::internalCompletionHandler() {
    if (status_ != NodeStatus::Playback::playing || seeking_->load()) return;
    platform::AudioEngine* engine = mixerNode_->engine();
    if (!engine || engine->isInManualRenderingMode()) return;

    const std::uint64_t generation = completionGeneration_;
    if (completionHandler) {
        // A copy: the handler may replace itself.
        const auto handler = completionHandler;
        handler();
        // The handler stopped, played, seeked or paused the player itself: that stands.
        if (generation != completionGeneration_ || status_ != NodeStatus::Playback::playing) return;
    }
    status_ = NodeStatus::Playback::stopped;
    if (isLooping_ && !isBuffered_) play();
}

} // namespace rozezeru
