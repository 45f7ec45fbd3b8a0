#include "platform/player/AudioPlayerNode.h"

#include "platform/audio/AudioEngine.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/RenderContext.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

namespace platform {

namespace {

// What the plan gives the node: the output latency in engine frames.
class PlayerRenderState final : public NodeRenderState {
public:
    explicit PlayerRenderState(std::uint32_t frames) : latency(frames) {}
    const std::uint32_t latency;
};

Error playerError(std::string message) {
    return Error::make("AudioPlayerNode", std::move(message));
}

std::string playerRateText(double rate) {
    return rate == std::floor(rate) ? std::to_string(std::int64_t(rate)) : std::to_string(rate);
}

} // namespace

std::int64_t AudioPlayerNode::Cycle::toNodeFrames(std::int64_t engineFrames) const {
    if (engineRate == nodeRate) return engineFrames;
    return std::llround(double(engineFrames) * nodeRate / engineRate);
}

std::int64_t AudioPlayerNode::Cycle::toEngineFrames(std::int64_t nodeFrames) const {
    if (engineRate == nodeRate) return nodeFrames;
    return std::llround(double(nodeFrames) * engineRate / nodeRate);
}

AudioPlayerNode::AudioPlayerNode() : AudioPlayerNode(Configuration{}) {}

AudioPlayerNode::AudioPlayerNode(const Configuration& configuration)
    : AudioNode(0, 1), streamingSeconds_(std::isfinite(configuration.streamingBufferSeconds) &&
                                                 configuration.streamingBufferSeconds > 0.0
                                             ? configuration.streamingBufferSeconds
                                             : Configuration{}.streamingBufferSeconds),
      streamer_(completions_) {
    setDefaultOutputFormat(0, *AudioFormat::standard(44100.0, 2));
}

AudioPlayerNode::~AudioPlayerNode() = default;

// Scheduling -------------------------------------------------------------------------------------

Result<void> AudioPlayerNode::checkFormat(const AudioFormat& format, const char* what) const {
    const AudioFormat node = outputFormat(0);
    if (format.sampleRate() != node.sampleRate())
        return playerError(std::string(what) + " has a sample rate of " +
                           playerRateText(format.sampleRate()) + " Hz; the player node plays at " +
                           playerRateText(node.sampleRate()) + " Hz");
    if (format.channelCount() != node.channelCount() && format.channelCount() != 1)
        return playerError(std::string(what) + " has " + std::to_string(format.channelCount()) +
                           " channels; the player node plays " + std::to_string(node.channelCount()));
    return Result<void>();
}

Result<void> AudioPlayerNode::scheduleFile(const AudioFile& file, const std::optional<AudioTime>& when,
                                           PlayerCompletionCallbackType callbackType,
                                           PlayerCompletionHandler completion) {
    if (file.isOpenForWriting()) return playerError("Cannot play a file that is open for writing");
    if (file.length() < 1) return playerError("The file \"" + file.path() + "\" holds no audio");
    return scheduleStream(file, 0, file.length(), when, callbackType, std::move(completion));
}

Result<void> AudioPlayerNode::scheduleSegment(const AudioFile& file, std::int64_t startingFrame,
                                              std::uint32_t frameCount, const std::optional<AudioTime>& when,
                                              PlayerCompletionCallbackType callbackType,
                                              PlayerCompletionHandler completion) {
    if (file.isOpenForWriting()) return playerError("Cannot play a file that is open for writing");
    if (startingFrame < 0 || startingFrame >= file.length())
        return playerError("The segment starts at frame " + std::to_string(startingFrame) +
                           ", outside the file's " + std::to_string(file.length()) + " frames");
    if (frameCount == 0) return playerError("The segment has no frames");
    const std::int64_t frames = std::min<std::int64_t>(frameCount, file.length() - startingFrame);
    return scheduleStream(file, startingFrame, frames, when, callbackType, std::move(completion));
}

Result<void> AudioPlayerNode::scheduleStream(const AudioFile& file, std::int64_t start, std::int64_t frames,
                                             const std::optional<AudioTime>& when,
                                             PlayerCompletionCallbackType callbackType,
                                             PlayerCompletionHandler completion) {
    if (auto fits = checkFormat(file.processingFormat(), "The file"); !fits) return fits;
    const double ringSeconds = streamingSeconds_ * file.processingFormat().sampleRate();
    const auto ringFrames = std::uint32_t(std::clamp(ringSeconds, 1.0, double(1u << 26)));
    auto stream = PlayerFileStream::open(file, start, frames, ringFrames);
    if (!stream) return stream.error();
    // The file may have been written over in place since the caller opened it.
    if (auto fits = checkFormat((*stream)->format(), "The file"); !fits) return fits;

    auto item = std::make_unique<PlayerItem>();
    item->stream = std::move(stream.value());
    item->frames = frames;
    item->when = when;
    item->callbackType = callbackType;
    item->completion = std::move(completion);
    publish(std::move(item));
    return Result<void>();
}

Result<void> AudioPlayerNode::scheduleBuffer(std::shared_ptr<const PcmBuffer> buffer,
                                             const std::optional<AudioTime>& when,
                                             PlayerBufferOptions options,
                                             PlayerCompletionCallbackType callbackType,
                                             PlayerCompletionHandler completion) {
    if (!buffer) return playerError("No buffer to schedule");
    if (!buffer->format().isStandard())
        return playerError("The player node plays buffers of non-interleaved 32-bit float, not " +
                           buffer->format().description());
    if (buffer->frameLength() == 0) return playerError("The buffer is empty");
    if (auto fits = checkFormat(buffer->format(), "The buffer"); !fits) return fits;

    auto item = std::make_unique<PlayerItem>();
    item->frames = buffer->frameLength();
    item->buffer = std::move(buffer);
    item->when = when;
    item->options = options;
    item->callbackType = callbackType;
    item->completion = std::move(completion);
    publish(std::move(item));
    return Result<void>();
}

void AudioPlayerNode::publish(std::unique_ptr<PlayerItem> item) {
    // A buffer never reaches the streaming thread, so its stream side is released from the start.
    if (!item->stream) item->streamReleased = true;
    const bool streamed = item->stream != nullptr;
    PlayerItem* published = completions_.adopt(std::move(item));
    if (streamed) streamer_.add(published);
    incoming_.push(published);
}

void AudioPlayerNode::prepare(std::uint32_t frameCount) {
    streamer_.prepare(frameCount);
}

// Control ----------------------------------------------------------------------------------------

Result<void> AudioPlayerNode::play() {
    return startPlaying(std::nullopt);
}

Result<void> AudioPlayerNode::play(const AudioTime& when) {
    return startPlaying(when);
}

Result<void> AudioPlayerNode::startPlaying(const std::optional<AudioTime>& when) {
    AudioEngine* owner = engine();
    if (!owner) return playerError("The player node is not attached to an engine");
    if (!owner->isRunning()) return playerError("The player node's engine is not running");
    const int mode = controlMode_.load(std::memory_order_relaxed);
    if (mode == modePlaying) return Result<void>();
    playAtSampleValid_.store(when && when->isSampleTimeValid(), std::memory_order_relaxed);
    playAtSample_.store(when ? when->sampleTime() : 0, std::memory_order_relaxed);
    playAtRate_.store(when ? when->sampleRate() : 0.0, std::memory_order_relaxed);
    playAtHostValid_.store(when && when->isHostTimeValid(), std::memory_order_relaxed);
    playAtHost_.store(when ? when->hostTime() : 0, std::memory_order_relaxed);
    if (mode == modeStopped) playAt_ = when;
    controlMode_.store(modePlaying, std::memory_order_relaxed);
    command_.fetch_add(1, std::memory_order_release);
    return Result<void>();
}

void AudioPlayerNode::pause() {
    if (controlMode_.load(std::memory_order_relaxed) != modePlaying) return;
    controlMode_.store(modePaused, std::memory_order_relaxed);
    command_.fetch_add(1, std::memory_order_release);
}

void AudioPlayerNode::stop() {
    // Take the render side; a render cycle that comes meanwhile plays silence.
    while (renderSide_.exchange(true, std::memory_order_acquire))
        std::this_thread::yield();
    controlMode_.store(modeStopped, std::memory_order_relaxed);
    seenCommand_ = command_.load(std::memory_order_relaxed);
    std::vector<PlayerItem*> dropped;
    for (PlayerItem* item = waitingForPlayback_; item; item = item->renderNext)
        dropped.push_back(item);
    for (PlayerItem* item = head_; item; item = item->renderNext)
        dropped.push_back(item);
    for (PlayerItem* item = incoming_.takeAll(); item; item = item->incomingNext)
        dropped.push_back(item);
    head_ = tail_ = waitingForPlayback_ = nullptr;
    renderMode_ = modeStopped;
    startPending_ = false;
    playerSampleTime_ = 0;
    playAt_.reset();
    {
        const std::uint32_t sequence = anchorSequence_.load(std::memory_order_relaxed);
        anchorSequence_.store(sequence + 1, std::memory_order_relaxed);
        anchorValid_.store(false, std::memory_order_release);
        anchorSequence_.store(sequence + 2, std::memory_order_release);
    }
    renderSide_.store(false, std::memory_order_release);

    for (PlayerItem* item : dropped)
        item->dropped.store(true);
    if (!dropped.empty()) streamer_.wake();
    // What the render and streaming threads reported before comes first, on the completion thread.
    completions_.drain();
    for (PlayerItem* item : dropped)
        if (!item->delivered.exchange(true) && item->completion) item->completion(item->callbackType);
    // Last: after this the completion thread may free the items.
    for (PlayerItem* item : dropped)
        completions_.post(item, playerevent::renderReleased);
}

std::optional<AudioTime> AudioPlayerNode::playerTime(const AudioTime& nodeTime) const {
    if (controlMode_.load(std::memory_order_relaxed) != modePlaying) return std::nullopt;
    bool valid, hostValid, running;
    std::int64_t sampleTime, player;
    std::uint64_t hostTime;
    double engineRate, nodeRate;
    for (;;) {
        const std::uint32_t before = anchorSequence_.load(std::memory_order_acquire);
        if (before & 1) {
            std::this_thread::yield();
            continue;
        }
        valid = anchorValid_.load(std::memory_order_acquire);
        sampleTime = anchorSampleTime_.load(std::memory_order_acquire);
        engineRate = anchorEngineRate_.load(std::memory_order_acquire);
        hostValid = anchorHostValid_.load(std::memory_order_acquire);
        hostTime = anchorHostTime_.load(std::memory_order_acquire);
        player = anchorPlayerTime_.load(std::memory_order_acquire);
        nodeRate = anchorNodeRate_.load(std::memory_order_acquire);
        running = anchorRunning_.load(std::memory_order_acquire);
        if (anchorSequence_.load(std::memory_order_relaxed) == before) break;
    }
    if (!valid) {
        // Not rendered since play(): player time starts at the next render, or at the time given.
        const double rate = outputFormat(0).sampleRate();
        if (playAt_ && playAt_->isSampleTimeValid() && playAt_->sampleRate() > 0.0 &&
            nodeTime.isSampleTimeValid() && nodeTime.sampleRate() > 0.0) {
            const double seconds = double(nodeTime.sampleTime()) / nodeTime.sampleRate() -
                                   double(playAt_->sampleTime()) / playAt_->sampleRate();
            return AudioTime::withSampleTime(std::llround(seconds * rate), rate);
        }
        return AudioTime::withSampleTime(0, rate);
    }
    std::int64_t delta = 0; // engine frames from the anchor
    if (nodeTime.isSampleTimeValid()) {
        const double rate = nodeTime.sampleRate();
        delta = rate == engineRate || rate <= 0.0
                    ? nodeTime.sampleTime() - sampleTime
                    : std::llround(double(nodeTime.sampleTime()) * engineRate / rate) - sampleTime;
    } else if (nodeTime.isHostTimeValid() && hostValid) {
        const auto ticks = std::int64_t(nodeTime.hostTime() - hostTime);
        delta = std::llround(double(ticks) * 1e-9 * engineRate);
    } else {
        return std::nullopt;
    }
    if (running)
        player += engineRate == nodeRate ? delta : std::llround(double(delta) * nodeRate / engineRate);
    return AudioTime::withSampleTime(player, nodeRate);
}

std::optional<AudioTime> AudioPlayerNode::playerTime() const {
    const auto last = lastRenderTime();
    if (!last) return std::nullopt;
    return playerTime(*last);
}

void AudioPlayerNode::setVolume(float volume) {
    if (!(volume >= 0.0f)) volume = 0.0f;
    volume_.store(std::min(volume, 1.0f), std::memory_order_relaxed);
}

std::shared_ptr<NodeRenderState>
AudioPlayerNode::makeRenderState(std::uint32_t, const std::shared_ptr<NodeRenderState>& previous) {
    std::uint32_t latency = 0;
    if (AudioEngine* owner = engine(); owner && !owner->isInManualRenderingMode())
        latency = owner->outputDevice().framesPerPeriod();
    if (auto* kept = dynamic_cast<PlayerRenderState*>(previous.get()); kept && kept->latency == latency)
        return previous;
    return std::make_shared<PlayerRenderState>(latency);
}

// Rendering --------------------------------------------------------------------------------------

RenderStatus AudioPlayerNode::render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                                     const AudioTime& when, std::uint32_t) {
    for (std::uint32_t b = 0; b < out.numberBuffers; ++b)
        std::memset(out.floatData(b), 0, std::size_t(frames) * sizeof(float));
    // stop() is emptying the schedule: this cycle stays silent.
    if (renderSide_.exchange(true, std::memory_order_acquire)) return RenderStatus::success;

    Cycle cycle;
    cycle.sampleTime = when.sampleTime();
    cycle.nodeRate = context.outputFormat(0).sampleRate();
    cycle.engineRate = when.sampleRate() > 0.0 ? when.sampleRate() : cycle.nodeRate;
    cycle.hostTimeValid = when.isHostTimeValid();
    cycle.hostTime = when.hostTime();
    cycle.offline = context.cycle().offline;
    const auto* state = static_cast<const PlayerRenderState*>(context.state());
    cycle.latency = cycle.offline || !state ? 0 : state->latency;
    // The engine restarted its timeline: times waited for belong to the old one.
    const bool restarted = haveLastCycle_ && cycle.sampleTime < lastCycleSampleTime_;

    takeIncoming();
    applyControl(cycle);
    if (renderMode_ == modePlaying) {
        std::uint32_t from = 0;
        if (startPending_) {
            const std::int64_t offset =
                std::max<std::int64_t>(0, cycle.toNodeFrames(startSampleTime_ - cycle.sampleTime));
            publishAnchor(cycle, playerSampleTime_ - offset, true);
            if (offset < frames) startPending_ = false;
            from = std::uint32_t(std::min<std::int64_t>(offset, frames));
        } else {
            publishAnchor(cycle, playerSampleTime_, true);
        }
        if (from < frames) {
            renderItems(cycle, out, from, frames);
            playerSampleTime_ += frames - from;
        }
    } else if (renderMode_ == modePaused) {
        publishAnchor(cycle, playerSampleTime_, false);
    }
    applyVolume(out, frames);
    releasePlayedBack(cycle.sampleTime + cycle.toEngineFrames(frames), restarted);
    haveLastCycle_ = true;
    lastCycleSampleTime_ = cycle.sampleTime;
    renderSide_.store(false, std::memory_order_release);
    return RenderStatus::success;
}

void AudioPlayerNode::takeIncoming() {
    for (PlayerItem* item = incoming_.takeAll(); item;) {
        PlayerItem* next = item->incomingNext;
        if (item->buffer && hasOption(item->options, PlayerBufferOptions::interrupts)) {
            while (head_) {
                PlayerItem* gone = head_;
                head_ = gone->renderNext;
                dropItem(*gone);
            }
            tail_ = nullptr;
        } else if (item->buffer && hasOption(item->options, PlayerBufferOptions::interruptsAtLoop) && head_) {
            // What plays finishes its pass; what waits behind it goes.
            PlayerItem* playing = head_->started ? head_ : nullptr;
            for (PlayerItem* gone = playing ? playing->renderNext : head_; gone;) {
                PlayerItem* after = gone->renderNext;
                dropItem(*gone);
                gone = after;
            }
            head_ = tail_ = playing;
            if (playing) {
                playing->renderNext = nullptr;
                playing->endAtLoop = true;
            }
        }
        item->renderNext = nullptr;
        if (tail_)
            tail_->renderNext = item;
        else
            head_ = item;
        tail_ = item;
        item = next;
    }
}

std::int64_t AudioPlayerNode::resolveStart(const AudioTime& time, const Cycle& cycle) const {
    if (time.isSampleTimeValid()) {
        const double rate = time.sampleRate();
        return rate == cycle.engineRate || rate <= 0.0
                   ? time.sampleTime()
                   : std::llround(double(time.sampleTime()) * cycle.engineRate / rate);
    }
    if (time.isHostTimeValid() && cycle.hostTimeValid) {
        const auto ticks = std::int64_t(time.hostTime() - cycle.hostTime);
        return cycle.sampleTime + std::llround(double(ticks) * 1e-9 * cycle.engineRate);
    }
    return cycle.sampleTime;
}

void AudioPlayerNode::applyControl(const Cycle& cycle) {
    const std::uint64_t command = command_.load(std::memory_order_acquire);
    if (command == seenCommand_) return;
    seenCommand_ = command;
    const int mode = controlMode_.load(std::memory_order_relaxed);
    if (renderMode_ == modeStopped) playerSampleTime_ = 0;
    if (mode == modePlaying && renderMode_ != modePlaying) {
        AudioTime start;
        if (playAtSampleValid_.load(std::memory_order_relaxed))
            start = AudioTime::withSampleTime(playAtSample_.load(std::memory_order_relaxed),
                                              playAtRate_.load(std::memory_order_relaxed));
        else if (playAtHostValid_.load(std::memory_order_relaxed))
            start = AudioTime::withHostTime(playAtHost_.load(std::memory_order_relaxed));
        startSampleTime_ = resolveStart(start, cycle);
        startPending_ = true;
        renderMode_ = modePlaying;
    } else if (mode == modePaused) {
        startPending_ = false;
        renderMode_ = modePaused;
    }
}

void AudioPlayerNode::renderItems(const Cycle& cycle, AudioBufferList& out, std::uint32_t from,
                                  std::uint32_t frames) {
    std::uint32_t at = from;
    while (at < frames && head_) {
        PlayerItem& item = *head_;
        if (!item.started) {
            if (item.when) {
                const std::int64_t offset =
                    cycle.toNodeFrames(resolveStart(*item.when, cycle) - cycle.sampleTime);
                if (offset >= frames) return;
                at = std::uint32_t(std::max<std::int64_t>(offset, at));
            }
            item.started = true;
        }
        bool finished = false;
        at += renderItem(item, cycle, out, at, frames - at, finished);
        if (finished) {
            head_ = item.renderNext;
            if (!head_) tail_ = nullptr;
            finishItem(item, cycle.sampleTime + cycle.toEngineFrames(at), cycle.latency);
        }
    }
}

std::uint32_t AudioPlayerNode::renderItem(PlayerItem& item, const Cycle& cycle, AudioBufferList& out,
                                          std::uint32_t offset, std::uint32_t frames, bool& finished) {
    auto count = std::uint32_t(std::min<std::int64_t>(frames, item.frames - item.position));
    if (item.buffer) {
        const PcmBuffer& buffer = *item.buffer;
        const std::uint32_t channels = buffer.format().channelCount();
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
            const std::uint32_t source = channels == 1 ? 0 : c;
            if (source < channels)
                std::memcpy(out.floatData(c) + offset, buffer.channel(source) + item.position,
                            std::size_t(count) * sizeof(float));
        }
        item.position += count;
        if (item.position >= item.frames) {
            if (hasOption(item.options, PlayerBufferOptions::loops) && !item.endAtLoop)
                item.position = 0;
            else
                finished = true;
        }
        return count;
    }

    PlayerFileStream& stream = *item.stream;
    if (cycle.offline) {
        // Offline, the render call reads what it needs itself (the streaming thread may help).
        count = std::min(count, stream.ringFrames());
        if (stream.readable() < count) {
            stream.claim();
            while (stream.readable() < count) {
                const auto fill = stream.fill(std::uint32_t(count - stream.readable()));
                if (fill.completed) completions_.post(&item, playerevent::consumed);
                if (fill.completed || fill.frames == 0) break;
            }
            stream.release();
        }
    }
    const auto ready = std::uint32_t(std::min<std::int64_t>(count, stream.readable()));
    stream.copyTo(out, offset, ready);
    if (ready < count) underruns_.fetch_add(1, std::memory_order_relaxed);
    stream.advance(count);
    item.position += count;
    if (item.position >= item.frames) finished = true;
    return count;
}

void AudioPlayerNode::finishItem(PlayerItem& item, std::int64_t endSampleTime, std::uint32_t latency) {
    completions_.post(&item,
                      item.buffer ? playerevent::consumed | playerevent::rendered : playerevent::rendered);
    item.playedBackAt = endSampleTime + latency;
    item.renderNext = nullptr;
    PlayerItem** link = &waitingForPlayback_;
    while (*link)
        link = &(*link)->renderNext;
    *link = &item;
}

void AudioPlayerNode::dropItem(PlayerItem& item) {
    item.dropped.store(true);
    item.renderNext = nullptr;
    completions_.post(&item, playerevent::dropped | playerevent::renderReleased);
}

void AudioPlayerNode::releasePlayedBack(std::int64_t renderedUntil, bool all) {
    PlayerItem** link = &waitingForPlayback_;
    while (PlayerItem* item = *link) {
        if (all || item->playedBackAt <= renderedUntil) {
            *link = item->renderNext;
            item->renderNext = nullptr;
            completions_.post(item, playerevent::playedBack | playerevent::renderReleased);
        } else {
            link = &item->renderNext;
        }
    }
}

void AudioPlayerNode::applyVolume(AudioBufferList& out, std::uint32_t frames) {
    const float target = volume_.load(std::memory_order_relaxed);
    const float from = appliedGain_;
    appliedGain_ = target;
    if ((target == 1.0f && from == 1.0f) || frames == 0) return;
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
        float* samples = out.floatData(c);
        if (target == from) {
            for (std::uint32_t i = 0; i < frames; ++i)
                samples[i] *= target;
        } else {
            const float step = (target - from) / float(frames);
            for (std::uint32_t i = 0; i < frames; ++i)
                samples[i] *= from + step * float(i + 1);
        }
    }
}

void AudioPlayerNode::publishAnchor(const Cycle& cycle, std::int64_t playerTimeAtCycle, bool running) {
    const std::uint32_t sequence = anchorSequence_.load(std::memory_order_relaxed);
    anchorSequence_.store(sequence + 1, std::memory_order_relaxed);
    anchorValid_.store(true, std::memory_order_release);
    anchorSampleTime_.store(cycle.sampleTime, std::memory_order_release);
    anchorEngineRate_.store(cycle.engineRate, std::memory_order_release);
    anchorHostValid_.store(cycle.hostTimeValid, std::memory_order_release);
    anchorHostTime_.store(cycle.hostTime, std::memory_order_release);
    anchorPlayerTime_.store(playerTimeAtCycle, std::memory_order_release);
    anchorNodeRate_.store(cycle.nodeRate, std::memory_order_release);
    anchorRunning_.store(running, std::memory_order_release);
    anchorSequence_.store(sequence + 2, std::memory_order_release);
}

} // namespace platform
