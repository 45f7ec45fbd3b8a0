// AudioPlayer: starting, pausing, resuming, stopping and seeking, and the current time.

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Internals/AudioTimeArithmetic.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/PlayerTimeCompensation.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/player/AudioPlayerNode.h"

#include <cmath>

namespace rozezeru {

void AudioPlayer::play(std::optional<double> from, std::optional<double> to,
                       std::optional<platform::AudioTime> at, CompletionCallbackType completionCallbackType) {
    platform::AudioEngine* engine = playerNode_->engine();
    if (!engine) {
        Log(LogSite("play(from:to:at:completionCallbackType:)", LogType::error),
            "🛑 Error: AudioPlayer must be attached before playback.");
        return;
    }
    if (!engine->isRunning()) {
        Log(LogSite("play(from:to:at:completionCallbackType:)", LogType::error),
            "🛑 Error: AudioPlayer's engine must be running before playback.");
        return;
    }
    if (status_ == NodeStatus::Playback::playing) return;

    editStartTime_ = clampedToDuration(from.value_or(editStartTime_));
    double end = to.value_or(editEndTime_);
    if (end == 0.0) end = duration();
    editEndTime_ = clampedToDuration(end);

    const auto lastRender = playerNode_->lastRenderTime();
    if (lastRender && at)
        timeBeforePlay_ = timeIntervalSince(*at, *lastRender).value_or(0.0);
    else if (const auto running = playerTime())
        timeBeforePlay_ = *running;

    if (status_ == NodeStatus::Playback::paused) {
        (void)playerNode_->play();
        status_ = NodeStatus::Playback::playing;
        return;
    }
    // A player that reported playing with nothing scheduled would wait for an end that never comes.
    if (!schedule(at, completionCallbackType)) {
        stopPlayer();
        return;
    }
    if (auto started = playerNode_->play(); !started) {
        Log(LogSite("play(from:to:at:completionCallbackType:)", LogType::error), started.error().message);
        stopPlayer();
        return;
    }
    status_ = NodeStatus::Playback::playing;
}

void AudioPlayer::start() {
    play();
}

void AudioPlayer::pause() {
    if (status_ != NodeStatus::Playback::playing) return;
    pausedTime_ = currentTime();
    playerNode_->pause();
    status_ = NodeStatus::Playback::paused;
}

void AudioPlayer::resume() {
    if (status_ != NodeStatus::Playback::paused) return;
    (void)playerNode_->play();
    status_ = NodeStatus::Playback::playing;
}

void AudioPlayer::stop() {
    if (status_ == NodeStatus::Playback::stopped) return;
    stopPlayer();
}

void AudioPlayer::stopPlayer() {
    // Stopped first: the completions of the dropped audio, which the player node calls right here,
    // must find the player stopped.
    status_ = NodeStatus::Playback::stopped;
    retireCompletions();
    playerNode_->stop();
    timeBeforePlay_ = 0.0;
}

void AudioPlayer::seekPastTheEnd() {
    stop();
    if (isLooping_) play();
}

void AudioPlayer::seek(double time) {
    if (time == 0.0 || !file_) return;
    const double target = currentTime() + time;
    if (!std::isfinite(target)) return;
    if (isBuffered_ && buffer_) {
        seekInBuffer(target);
        return;
    }
    if (!(target > 0.0 && target < editEndTime_)) {
        seekPastTheEnd();
        return;
    }
    const double rate = file_->fileFormat().sampleRate;
    const double startProduct = rate * target;
    const double endProduct = rate * editEndTime_;
    constexpr double frameLimit = 9.2e18; // inside the signed 64-bit range
    if (!(startProduct < frameLimit && endProduct < frameLimit)) return;
    const auto startFrame = std::int64_t(startProduct);
    const std::int64_t frames = std::int64_t(endProduct) - startFrame;
    if (frames <= 0) {
        seekPastTheEnd();
        return;
    }

    seeking_->store(true);
    retireCompletions();
    playerNode_->stop();
    fitConnection(file_->processingFormat());
    auto scheduled =
        scheduleFrames(startFrame, startFrame + frames, std::nullopt, CompletionCallbackType::dataPlayedBack);
    if (!scheduled) {
        Log(LogSite("seek(time:)", LogType::error), scheduled.error().message);
        seeking_->store(false);
        stopPlayer();
        return;
    }
    (void)playerNode_->play();
    status_ = NodeStatus::Playback::playing;
    seeking_->store(false);
    // The player node's clock starts again at 0, which is the target.
    timeBeforePlay_ = editStartTime_ - target;
}

void AudioPlayer::seekInBuffer(double target) {
    // The buffer holds the edit range and nothing else, in playing order (reversed or not).
    const double start = editStartTime_;
    if (target < start) target = start;
    if (!(target < editEndTime_)) {
        seekPastTheEnd();
        return;
    }
    const double offsetFrames = (target - start) * buffer_->format().sampleRate();
    if (!(offsetFrames < double(buffer_->frameLength()))) {
        seekPastTheEnd();
        return;
    }
    std::shared_ptr<const platform::PcmBuffer> rest = copyFrom(*buffer_, std::uint32_t(offsetFrames));
    if (!rest) {
        seekPastTheEnd();
        return;
    }

    seeking_->store(true);
    retireCompletions();
    playerNode_->stop();
    fitConnection(buffer_->format());
    platform::Result<void> scheduled;
    if (isLooping_) {
        // The rest of this pass, then the whole range again and again.
        scheduled = playerNode_->scheduleBuffer(rest, std::nullopt, BufferOptions::interrupts,
                                                CompletionCallbackType::dataPlayedBack, {});
        if (scheduled)
            scheduled = playerNode_->scheduleBuffer(buffer_, std::nullopt, BufferOptions::loops,
                                                    CompletionCallbackType::dataPlayedBack, makeCompletion());
    } else {
        scheduled = playerNode_->scheduleBuffer(rest, std::nullopt, BufferOptions::interrupts,
                                                CompletionCallbackType::dataPlayedBack, makeCompletion());
    }
    if (!scheduled) {
        Log(LogSite("seek(time:)", LogType::error), scheduled.error().message);
        seeking_->store(false);
        stopPlayer();
        return;
    }
    (void)playerNode_->play();
    status_ = NodeStatus::Playback::playing;
    seeking_->store(false);
    timeBeforePlay_ = start - target;
}

std::optional<double> AudioPlayer::playerTime() const {
    const auto lastRender = playerNode_->lastRenderTime();
    if (!lastRender || !lastRender->isSampleTimeValid()) return std::nullopt;
    const auto time = playerNode_->playerTime(*lastRender);
    if (!time || !(time->sampleRate() > 0.0)) return std::nullopt;
    return double(time->sampleTime()) / time->sampleRate();
}

double AudioPlayer::currentTime() const {
    if (status_ == NodeStatus::Playback::stopped) return editStartTime_;
    if (status_ == NodeStatus::Playback::paused) return pausedTime_;
    const double start = editStartTime_;
    const double length = editEndTime_ - editStartTime_;
    // The compensation pairs the player's time with what the unit after it held in the same cycle:
    // when the player renders again meanwhile (the unit may hold much more or less by then), both
    // are read again.
    double t = 0.0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const auto before = playerNode_->lastRenderTime();
        const auto rendered = playerTime();
        if (!rendered) return start;
        t = timeCompensation_ ? timeCompensation_->heardPlayerTime(*rendered) : *rendered;
        const auto after = playerNode_->lastRenderTime();
        if (!timeCompensation_ || (before && after && before->sampleTime() == after->sampleTime())) break;
    }
    // Nothing is taken off while the player time is still below the time before play.
    if (timeBeforePlay_ <= t) t -= timeBeforePlay_;
    // The time before play comes off before the loop's remainder is taken: a buffer that loops
    // after a seek or a delayed start then still reports its place in the range.
    if (isBuffered_ && isLooping_ && length > 0.0) t = std::fmod(t, length);
    const double value = start + t;
    if (!(value > start)) return start;
    if (value > start + length) return start + length;
    return value;
}

double AudioPlayer::playedFraction() const {
    const double length = editEndTime_ - editStartTime_;
    if (!(length > 0.0)) return 0.0;
    const double fraction = currentTime() / length;
    if (!(fraction > 0.0)) return 0.0;
    return fraction > 1.0 ? 1.0 : fraction;
}

} // namespace rozezeru
