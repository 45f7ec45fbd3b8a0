#include "RozezEru/Nodes/Playback/MultiSegmentAudioPlayer.h"

#include "RozezEru/Internals/AudioTimeArithmetic.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/files/AudioFile.h"
#include "platform/player/AudioPlayerNode.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace rozezeru {

namespace {

// The frame at `seconds` of a file at `rate`, truncated toward zero; none outside the signed 64-bit range.
std::optional<std::int64_t> segmentFrame(double seconds, double rate) {
    const double frame = std::trunc(seconds * rate);
    if (!std::isfinite(frame) || frame < -9.2e18 || frame > 9.2e18) return std::nullopt;
    return std::int64_t(frame);
}

} // namespace

MultiSegmentAudioPlayer::MultiSegmentAudioPlayer()
    : playerNode_(std::make_shared<platform::AudioPlayerNode>()),
      mixerNode_(std::make_shared<platform::MixerNode>()) {}

MultiSegmentAudioPlayer::~MultiSegmentAudioPlayer() {
    // The engine may keep the player node: it must not go on playing for nobody.
    playerNode_->stop();
}

std::shared_ptr<platform::AudioNode> MultiSegmentAudioPlayer::avAudioNode() const {
    return mixerNode_;
}

float MultiSegmentAudioPlayer::volume() const {
    return playerNode_->volume();
}

void MultiSegmentAudioPlayer::setVolume(float volume) {
    playerNode_->setVolume(volume);
}

void MultiSegmentAudioPlayer::play() {
    if (auto started = playerNode_->play(); !started)
        Log(LogSite("play()", LogType::error), started.error().message);
}

void MultiSegmentAudioPlayer::stop() {
    playerNode_->stop();
}

void MultiSegmentAudioPlayer::makeInternalConnections() {
    platform::AudioEngine* engine = mixerNode_->engine();
    if (!engine) {
        Log(LogSite("makeInternalConnections()", LogType::error), "Engine is nil");
        return;
    }
    if (auto* previous = playerNode_->engine(); previous && previous != engine)
        previous->detach(*playerNode_);
    if (!playerNode_->engine()) {
        if (auto attached = engine->attach(playerNode_); !attached) {
            Log(LogSite("makeInternalConnections()", LogType::error), attached.error().message);
            return;
        }
    }
    for (const auto& point : engine->outputConnectionPoints(*playerNode_, 0))
        if (point.node == mixerNode_.get()) return;
    if (auto connected = engine->connect(*playerNode_, *mixerNode_, std::nullopt); !connected)
        Log(LogSite("makeInternalConnections()", LogType::error), connected.error().message);
}

void MultiSegmentAudioPlayer::playSegments(
    const std::vector<std::shared_ptr<StreamableAudioSegment>>& audioSegments, double referenceTimeStamp,
    std::optional<platform::AudioTime> referenceNowTime, double processingDelay) {
    scheduleSegments(audioSegments, referenceTimeStamp, referenceNowTime, processingDelay);
    play();
}

void MultiSegmentAudioPlayer::scheduleSegments(
    const std::vector<std::shared_ptr<StreamableAudioSegment>>& audioSegments, double referenceTimeStamp,
    std::optional<platform::AudioTime> referenceNowTime, double processingDelay) {
    const auto lastRender = playerNode_->lastRenderTime();
    if (!lastRender || audioSegments.empty()) return;
    // A sample time of 0 would be the engine's start on this node's timeline, not the player's.
    const platform::AudioTime now = referenceNowTime.value_or(*lastRender);
    for (const auto& segment : audioSegments) {
        if (!segment || !segment->audioFile()) continue;
        const double playbackStart = segment->playbackStartTime();
        const double fileStart = segment->fileStartTime(), fileEnd = segment->fileEndTime();
        if (referenceTimeStamp >= playbackStart + (fileEnd - fileStart)) continue;
        const platform::AudioTime base = offset(now, processingDelay);
        platform::AudioTime startTime = base;
        double startPosition = fileStart;
        if (playbackStart <= referenceTimeStamp)
            startPosition = fileStart + (referenceTimeStamp - playbackStart);
        else
            startTime = offset(base, playbackStart - referenceTimeStamp);

        const platform::AudioFile& file = *segment->audioFile();
        const double rate = file.fileFormat().sampleRate;
        if (!std::isfinite(rate) || !std::isfinite(startPosition)) continue;
        const auto startFrame = segmentFrame(startPosition, rate), endFrame = segmentFrame(fileEnd, rate);
        if (!startFrame || !endFrame || *endFrame <= *startFrame) continue;
        const std::int64_t frames = *endFrame - *startFrame;
        if (*startFrame < 0 || frames > std::int64_t(std::numeric_limits<std::uint32_t>::max())) continue;

        platform::PlayerCompletionHandler completion;
        if (auto done = segment->segmentCompletion())
            completion = [done = std::move(done)](platform::PlayerCompletionCallbackType) { done(); };
        auto scheduled = playerNode_->scheduleSegment(file, *startFrame, std::uint32_t(frames), startTime,
                                                      platform::PlayerCompletionCallbackType::dataConsumed,
                                                      std::move(completion));
        if (!scheduled) {
            Log(LogSite(
                    "scheduleSegments(audioSegments:referenceTimeStamp:referenceNowTime:processingDelay:)",
                    LogType::error),
                scheduled.error().message);
            continue;
        }
        playerNode_->prepare(std::uint32_t(frames));
    }
}

} // namespace rozezeru
