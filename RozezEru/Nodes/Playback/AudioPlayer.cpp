#include "RozezEru/Nodes/Playback/AudioPlayer.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/SourceNode.h"
#include "platform/dispatch/MainQueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace rozezeru {

// What the render thread reads. The controlling thread changes the buffer only while the render
// thread is shut out: it lowers `playing`, then waits for `inRender` to fall; the render thread
// raises `inRender` before it reads `playing` (both sequentially consistent, so one sees the other).
struct AudioPlayer::Playback {
    std::atomic<const platform::PcmBuffer*> buffer{nullptr};
    std::atomic<std::uint32_t> position{0};
    std::atomic<bool> playing{false};
    std::atomic<bool> inRender{false};
    std::atomic<bool> finished{false};
};

// The next frames of the buffer, silence after its end.
bool AudioPlayer::renderPlayback(Playback& playback, std::uint32_t frames, platform::AudioBufferList& out) {
    playback.inRender.store(true);
    const platform::PcmBuffer* buffer = playback.playing.load() ? playback.buffer.load() : nullptr;
    std::uint32_t played = 0;
    if (buffer) {
        const std::uint32_t position = playback.position.load(std::memory_order_relaxed);
        const std::uint32_t length = buffer->frameLength();
        played = std::min(frames, length - std::min(position, length));
        const std::uint32_t channels = buffer->format().channelCount();
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
            std::memcpy(out.floatData(c), buffer->channel(std::min(c, channels - 1)) + position,
                        played * sizeof(float));
        playback.position.store(position + played, std::memory_order_relaxed);
        if (position + played >= length) {
            playback.playing.store(false);
            playback.finished.store(true);
        }
    }
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
        std::memset(out.floatData(c) + played, 0, (frames - played) * sizeof(float));
    playback.inRender.store(false);
    return true;
}

AudioPlayer::AudioPlayer()
    : playback_(std::make_shared<Playback>()), mixerNode_(std::make_shared<platform::MixerNode>()) {
    playerNode_ = std::make_shared<platform::SourceNode>(
        Settings::audioFormat(), [playback = playback_](const platform::AudioTime&, std::uint32_t frames,
                                                        platform::AudioBufferList& out) {
            return renderPlayback(*playback, frames, out);
        });
}

AudioPlayer::~AudioPlayer() {
    stopPlayback();
}

std::shared_ptr<platform::AudioNode> AudioPlayer::avAudioNode() const {
    return mixerNode_;
}

std::shared_ptr<platform::AudioNode> AudioPlayer::playerNode() const {
    return playerNode_;
}

void AudioPlayer::makeInternalConnections() {
    platform::AudioEngine* engine = mixerNode_->engine();
    if (!engine) return;
    // The player node is ours alone: when the mixer moved to another engine, it follows.
    if (auto* previous = playerNode_->engine(); previous && previous != engine)
        previous->detach(*playerNode_);
    if (auto attached = engine->attach(playerNode_); !attached) return;

    const platform::AudioFormat format = buffer_ ? buffer_->format() : Settings::audioFormat();
    const auto point = engine->inputConnectionPoint(*mixerNode_, 0);
    if (point && point->node == playerNode_.get() && mixerNode_->inputFormat(0) == format) return;
    if (auto connected = engine->connect(*playerNode_, *mixerNode_, 0, 0, format); !connected)
        Log(LogSite("makeInternalConnections()", LogType::error), "🛑 Error:", connected.error().message);
}

void AudioPlayer::setBuffer(std::shared_ptr<const platform::PcmBuffer> buffer) {
    const bool wasPlaying = isPlaying();
    stopPlayback();
    buffer_ = std::move(buffer);
    if (wasPlaying) play();
}

void AudioPlayer::play() {
    platform::AudioEngine* engine = mixerNode_->engine();
    if (!buffer_ || !engine || !engine->isRunning()) return;
    if (!buffer_->format().isStandard()) {
        Log(LogSite("play()", LogType::error), "🛑 Error: Cannot play a buffer in format",
            buffer_->format().description());
        return;
    }
    stopPlayback();
    makeInternalConnections();

    playback_->buffer.store(buffer_.get());
    playback_->position.store(0, std::memory_order_relaxed);
    playback_->finished.store(false);
    playback_->playing.store(true);

    // The render thread may not post work, so a watcher hands the completion to the main queue.
    watcher_ = std::jthread([playback = playback_, handler = completionHandler](std::stop_token stop) {
        while (!stop.stop_requested()) {
            if (playback->finished.load()) {
                platform::mainQueue().async([handler] {
                    if (handler) handler();
                });
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
}

void AudioPlayer::stop() {
    stopPlayback();
}

void AudioPlayer::start() {
    play();
}

bool AudioPlayer::isPlaying() const {
    return playback_->playing.load();
}

void AudioPlayer::stopPlayback() {
    playback_->playing.store(false);
    while (playback_->inRender.load())
        std::this_thread::yield();
    if (watcher_.joinable()) {
        watcher_.request_stop();
        watcher_.join();
    }
}

} // namespace rozezeru
