#include "Source/playback/PlayerAV.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "Source/playback/FileMonitor.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/AudioDevice.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <algorithm>

namespace vantle {

namespace {
constexpr auto avPlayerCallbackType = rozezeru::AudioPlayer::CompletionCallbackType::dataPlayedBack;
}

PlayerAV::PlayerAV(std::unique_ptr<platform::AudioDevice> device)
    : engine_(std::make_unique<rozezeru::AudioEngine>(std::move(device))),
      avplayer_(std::make_shared<rozezeru::AudioPlayer>()) {
    engine_->setOutput(avplayer_);
    avplayer_->setVolume(volume_);
    rozezeru::HasAudioEngine::start();
}

PlayerAV::~PlayerAV() {
    fileMonitor_.reset();
    avplayer_->completionHandler = nullptr;
    avplayer_->stop();
    engine_->stop();
}

double PlayerAV::currentTime() const {
    return !suspended_ && playable_ && playing_ ? avplayer_->currentTime() : desiredTime_;
}

double PlayerAV::duration() const {
    return playable_ ? avplayer_->duration() : 0.0;
}

void PlayerAV::setEntry(std::shared_ptr<PlaylistEntry> entry) {
    avplayer_->stop();
    setPlaying(false);
    entry_.reset();
    fileMonitor_.reset();
    playable_ = false;
    desiredTime_ = 0;
    if (!entry) return;
    if (auto opened = avplayer_->load(entry->_url.path()); !opened) {
        platform::consolePrint("can't open " + entry->_url.absoluteString() + ": " + opened.error().message);
        entry->fileMissing = !platform::fileExists(entry->_url.path());
        return;
    }
    playable_ = true;
    entry->fileMissing = false;
    entry_ = std::move(entry);
    watch(entry_);
}

void PlayerAV::replaceFile(std::unique_ptr<platform::AudioFile> file) {
    avplayer_->load(std::shared_ptr<platform::AudioFile>(std::move(file)));
}

void PlayerAV::setCurrentTime(double seconds) {
    suspend();
    const double lower = seconds >= 0 ? seconds : 0.0; // also for NaN
    const double upper = playable_ ? std::max(0.0, avplayer_->duration() - 0.1) : 9.9;
    desiredTime_ = std::min(upper, lower);
    if (delegate_) delegate_->refreshDisplay();
    resume();
}

void PlayerAV::play() {
    if (avplayer_->isPlaying()) return;
    if (!playable_) return refusePlay();
    avplayer_->completionHandler = [this] { playbackDidComplete(); };
    if (mode_ == PlayerMode::dance && entry_) entry_->beginTimeRange(desiredTime_);
    if (!engine_->isRunning()) (void)engine_->start();
    avplayer_->play(desiredTime_, std::nullopt, std::nullopt, avPlayerCallbackType);
    setPlaying(avplayer_->isPlaying());
}

void PlayerAV::pause() {
    if (!(playing_ && playable_)) return;
    avplayer_->pause();
    desiredTime_ = avplayer_->currentTime();
    recordPlayedRange();
    avplayer_->stop();
}

void PlayerAV::playbackDidComplete() {
    if (mode_ == PlayerMode::dance && entry_ && entry_->cachedTimeRangeIndex && entry_->currentTimeRangeSet)
        (void)entry_->currentTimeRangeSet->extendRange(*entry_->cachedTimeRangeIndex, avplayer_->duration());
    avplayer_->stop();
    finishPlayback();
}

bool PlayerAV::filePlayerIsPlaying() const {
    return avplayer_->isPlaying();
}

void PlayerAV::setVolume(float volume) {
    volume_ = volume;
    avplayer_->setVolume(volume);
}

} // namespace vantle
