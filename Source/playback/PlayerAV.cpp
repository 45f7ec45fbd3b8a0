#include "Source/playback/PlayerAV.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "Source/playback/FileMonitor.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/AudioDevice.h"
#include "platform/foundation/Console.h"
#include "platform/ui/Badge.h"

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
    return !suspended_ && loaded_ && playing_ ? avplayer_->currentTime() : desiredTime_;
}

double PlayerAV::duration() const {
    return loaded_ ? avplayer_->duration() : 0.0;
}

void PlayerAV::setEntry(std::shared_ptr<PlaylistEntry> entry) {
    avplayer_->stop();
    setPlaying(false);
    entry_.reset();
    fileMonitor_.reset();
    loaded_ = false;
    desiredTime_ = 0;
    if (!entry) return;
    if (auto opened = avplayer_->load(entry->_url.path()); !opened) {
        platform::consolePrint("can't open " + entry->_url.absoluteString() + ": " + opened.error().message);
        return;
    }
    loaded_ = true;
    auto monitor = std::make_unique<FileMonitor>(entry->_url, platform::FileSystemEvent::all, [this, entry] {
        // The file changed on disk: it is read again, from the start.
        setEntry(entry);
    });
    fileMonitor_ = monitor->isWatching() ? std::move(monitor) : nullptr;
    entry_ = std::move(entry);
}

void PlayerAV::setCurrentTime(double seconds) {
    suspend();
    const double lower = seconds >= 0 ? seconds : 0.0; // also for NaN
    const double upper = loaded_ ? std::max(0.0, avplayer_->duration() - 0.1) : 9.9;
    desiredTime_ = std::min(upper, lower);
    if (delegate_) delegate_->refreshDisplay();
    resume();
}

void PlayerAV::skipToEndIfWithin(double seconds) {
    if (!playing_) return;
    if (seconds > duration() - playbackTime()) setCurrentTime(duration());
}

void PlayerAV::play() {
    if (!loaded_ || avplayer_->isPlaying()) return;
    avplayer_->completionHandler = [this] { playbackDidComplete(); };
    if (mode_ == PlayerMode::dance && entry_) entry_->beginTimeRange(desiredTime_);
    if (!engine_->isRunning()) (void)engine_->start();
    avplayer_->play(desiredTime_, std::nullopt, std::nullopt, avPlayerCallbackType);
    setPlaying(avplayer_->isPlaying());
}

void PlayerAV::pause() {
    if (!(playing_ && loaded_)) return;
    avplayer_->pause();
    desiredTime_ = avplayer_->currentTime();
    recordPlayedRange();
    avplayer_->stop();
}

void PlayerAV::suspend() {
    if (suspended_) return;
    if (playing_ && loaded_) pause();
    suspended_ = true;
}

void PlayerAV::stop() {
    if (!suspended_) pause();
    setPlaying(false);
}

void PlayerAV::start() {
    if (suspended_)
        setPlaying(true);
    else
        play();
}

void PlayerAV::resume() {
    if (!suspended_) return;
    suspended_ = false;
    if (playing_) play();
}

void PlayerAV::playbackDidComplete() {
    if (mode_ == PlayerMode::dance && entry_ && entry_->cachedTimeRangeIndex && entry_->currentTimeRangeSet)
        (void)entry_->currentTimeRangeSet->extendRange(*entry_->cachedTimeRangeIndex, avplayer_->duration());
    avplayer_->stop();
    if (delegate_) {
        platform::dockTile().setBadgeLabel("");
        delegate_->resetScreensaverIdle();
        delegate_->playerDidFinish();
    }
    if (playing_ && !avplayer_->isPlaying()) setPlaying(false);
}

void PlayerAV::setPlaying(bool playing) {
    playing_ = playing;
    if (!delegate_) return;
    platform::dockTile().setBadgeLabel(playing ? "►" : "");
    delegate_->resetScreensaverIdle();
    if (playing) delegate_->clearPrevEntry();
}

void PlayerAV::setVolume(float volume) {
    volume_ = volume;
    avplayer_->setVolume(volume);
}

} // namespace vantle
