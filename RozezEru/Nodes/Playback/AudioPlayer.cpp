#include "RozezEru/Nodes/Playback/AudioPlayer.h"

#include "RozezEru/AudioFiles/AudioFileUtilities.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/PlayerTimeCompensation.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/player/AudioPlayerNode.h"

namespace rozezeru {

namespace {

// Whether the player node, connected in `node`, can play audio in `item`: the same rate, and the
// same channels or one channel (which feeds them all).
bool playerConnectionFits(const platform::AudioFormat& item, const platform::AudioFormat& node) {
    return item.sampleRate() == node.sampleRate() &&
           (item.channelCount() == node.channelCount() || item.channelCount() == 1);
}

} // namespace

AudioPlayer::AudioPlayer()
    : playerNode_(std::make_shared<platform::AudioPlayerNode>()),
      mixerNode_(std::make_shared<platform::MixerNode>()) {
    // Completions look for the main thread; asked here, on it, the queue binds to it and not to the
    // platform's completion thread.
    (void)platform::mainQueue();
}

AudioPlayer::AudioPlayer(std::shared_ptr<platform::AudioFile> file, std::optional<bool> buffered)
    : AudioPlayer() {
    AudioPlayer::load(std::move(file), buffered, false);
}

AudioPlayer::AudioPlayer(std::shared_ptr<const platform::PcmBuffer> buffer) : AudioPlayer() {
    setBuffer(std::move(buffer));
    isBuffered_ = true;
}

std::shared_ptr<AudioPlayer> AudioPlayer::make(const std::string& path, std::optional<bool> buffered) {
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) {
        Log(LogSite("init(url:buffered:)", LogType::error), opened.error().message);
        return nullptr;
    }
    return std::make_shared<AudioPlayer>(std::shared_ptr<platform::AudioFile>(std::move(opened.value())),
                                         buffered);
}

AudioPlayer::~AudioPlayer() {
    // The engine may keep the player node: it must not go on playing for nobody.
    playerNode_->stop();
}

std::shared_ptr<platform::AudioNode> AudioPlayer::avAudioNode() const {
    return mixerNode_;
}

float AudioPlayer::volume() const {
    return playerNode_->volume();
}

void AudioPlayer::setVolume(float volume) {
    playerNode_->setVolume(volume);
}

double AudioPlayer::duration() const {
    if (file_) return rozezeru::duration(*file_);
    if (buffer_) {
        const double rate = buffer_->format().sampleRate();
        return rate > 0.0 ? double(buffer_->frameLength()) / rate : 0.0;
    }
    return 0.0;
}

double AudioPlayer::clampedToDuration(double time) const {
    const double limit = duration();
    // Not-a-number counts as 0: it has no place in the timeline.
    if (!(time > 0.0)) return 0.0;
    return time > limit ? limit : time;
}

// Properties -----------------------------------------------------------------------------------------

void AudioPlayer::setBuffered(bool buffered) {
    if (buffered == isBuffered_) return;
    isBuffered_ = buffered;
    if (!buffered) setBuffer(nullptr);
}

void AudioPlayer::setReversed(bool reversed) {
    if (reversed == isReversed_) return;
    isReversed_ = reversed;
    if (isPlaying()) stopPlayer();
    // Playing backwards needs the audio in memory.
    if (reversed && !isBuffered_) {
        isBuffered_ = true;
        updateBuffer();
    }
}

void AudioPlayer::setLooping(bool looping) {
    isLooping_ = looping;
    bufferOptions_ = looping ? BufferOptions::loops : BufferOptions::interrupts;
    if (!isBuffered_) return;
    if (status_ == NodeStatus::Playback::stopped) {
        playerNode_->stop();
    } else if (status_ == NodeStatus::Playback::playing) {
        Log(LogSite("isLooping", LogType::debug),
            "For buffers, 'isLooping' should only be set when the player is stopped.");
        stopPlayer();
    }
}

void AudioPlayer::setEditTimeEnabled(bool enabled) {
    if (enabled) {
        editStartTime_ = clampedToDuration(savedEditStartTime_.value_or(0.0));
        const double end = savedEditEndTime_.value_or(0.0);
        editEndTime_ = clampedToDuration(end == 0.0 ? duration() : end);
        isEditTimeEnabled_ = true;
    } else {
        savedEditStartTime_ = editStartTime_;
        savedEditEndTime_ = editEndTime_;
        editStartTime_ = 0.0;
        editEndTime_ = duration();
        isEditTimeEnabled_ = false;
    }
}

void AudioPlayer::setEditStartTime(double time) {
    editStartTime_ = clampedToDuration(time);
}

void AudioPlayer::setEditEndTime(double time) {
    editEndTime_ = clampedToDuration(time == 0.0 ? duration() : time);
}

void AudioPlayer::setFile(std::shared_ptr<platform::AudioFile> file) {
    std::shared_ptr<platform::AudioFile> old = std::move(file_);
    file_ = std::move(file);
    const bool wasPlaying = isPlaying();
    if (wasPlaying) stopPlayer();
    if (isBuffered_ && old != file_) updateBuffer();
    if (wasPlaying) play();
}

void AudioPlayer::setBuffer(std::shared_ptr<const platform::PcmBuffer> buffer) {
    buffer_ = std::move(buffer);
    setBuffered(buffer_ != nullptr);
    if (isPlaying()) {
        stopPlayer();
        play();
    }
}

void AudioPlayer::setTimeCompensation(std::shared_ptr<const PlayerTimeCompensation> compensation) {
    timeCompensation_ = std::move(compensation);
}

// Loading --------------------------------------------------------------------------------------------

platform::Result<void> AudioPlayer::load(const std::string& path, std::optional<bool> buffered) {
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) return opened.error();
    load(std::shared_ptr<platform::AudioFile>(std::move(opened.value())), buffered, false);
    return {};
}

void AudioPlayer::load(std::shared_ptr<platform::AudioFile> file, std::optional<bool> buffered,
                       bool preserveEditTime) {
    bool formatChanged = false;
    platform::AudioEngine* engine = mixerNode_->engine();
    if (file) {
        // Another file format, or (even for the first file) a connection that cannot play the file.
        const bool otherFormat = file_ && file_->fileFormat() != file->fileFormat();
        const bool unfit =
            engine && !playerConnectionFits(file->processingFormat(), playerNode_->outputFormat(0));
        if (otherFormat || unfit) {
            Log(LogSite("load(file:buffered:preserveEditTime:)"),
                "Format has changed, player will be reconnected with format", file->fileFormat());
            if (engine) engine->disconnectNodeOutput(*playerNode_, 0);
            formatChanged = true;
        }
    }
    setFile(std::move(file));
    if (!preserveEditTime) {
        editStartTime_ = clampedToDuration(0.0);
        editEndTime_ = clampedToDuration(duration());
    }
    if (formatChanged) makeInternalConnections();
    if (buffered) setBuffered(*buffered);
    if (isBuffered_) updateBuffer();
}

void AudioPlayer::load(std::shared_ptr<const platform::PcmBuffer> buffer) {
    setBuffer(std::move(buffer));
    if (!isBuffered_) isBuffered_ = true;
}

// Connections ----------------------------------------------------------------------------------------

std::optional<platform::AudioFormat> AudioPlayer::connectionFormat() const {
    if (file_) return file_->processingFormat();
    if (buffer_ && buffer_->format().isStandard()) return buffer_->format();
    return std::nullopt;
}

void AudioPlayer::makeInternalConnections() {
    platform::AudioEngine* engine = mixerNode_->engine();
    if (!engine) {
        Log(LogSite("makeInternalConnections()", LogType::error), "Engine is nil");
        return;
    }
    // The player node is ours alone: when the mixer moved to another engine, it follows.
    if (auto* previous = playerNode_->engine(); previous && previous != engine)
        previous->detach(*playerNode_);
    if (!playerNode_->engine()) {
        if (auto attached = engine->attach(playerNode_); !attached) {
            Log(LogSite("makeInternalConnections()", LogType::error), attached.error().message);
            return;
        }
    }
    for (std::uint32_t bus = 0; bus < playerNode_->numberOfOutputs(); ++bus)
        for (const auto& point : engine->outputConnectionPoints(*playerNode_, bus))
            if (point.node == mixerNode_.get()) return;
    reconnect(*engine, connectionFormat());
}

void AudioPlayer::reconnect(platform::AudioEngine& engine, std::optional<platform::AudioFormat> format) {
    engine.disconnectNodeOutput(*playerNode_, 0);
    if (auto connected = engine.connect(*playerNode_, *mixerNode_, std::move(format)); !connected)
        Log(LogSite("makeInternalConnections()", LogType::error), connected.error().message);
}

void AudioPlayer::fitConnection(const platform::AudioFormat& format) {
    platform::AudioEngine* engine = mixerNode_->engine();
    if (!engine || playerNode_->engine() != engine) return;
    bool connected = false;
    for (const auto& point : engine->outputConnectionPoints(*playerNode_, 0))
        connected = connected || point.node == mixerNode_.get();
    if (connected && playerConnectionFits(format, playerNode_->outputFormat(0))) return;
    reconnect(*engine, format);
}

} // namespace rozezeru
