#include "Source/playback/PlayerRZ.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "RozezEru/Nodes/Playback/TimePitchCompensation.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "Source/playback/FileMonitor.h"
#include "Source/session/AppServices.h"
#include "Source/session/Bookmark.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/DefaultOutputDevice.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/files/AudioFile.h"
#include "platform/files/AudioFileMetadata.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <utility>
#include <vector>

namespace vantle {

namespace {

// The default device, telling once per run when there is no sound card to play to.
std::unique_ptr<platform::AudioDevice> playerOutputDevice() {
    std::unique_ptr<platform::AudioDevice> device = platform::makeDefaultOutputDevice();
    static std::atomic<bool> told{false};
    if (dynamic_cast<platform::NullAudioDevice*>(device.get()) && !told.exchange(true))
        platform::consolePrint("no sound card could be opened: playing to the null device");
    return device;
}

// The tags printed when a file is loaded: its title, its kind (genre) and its album.
bool playerPrintsTag(const std::string& key) {
    return key == "title" || key == "genre" || key == "album";
}

constexpr auto playerCallbackType = rozezeru::AudioPlayer::CompletionCallbackType::dataPlayedBack;

} // namespace

PlayerRZ::PlayerRZ() : PlayerRZ(playerOutputDevice()) {}

PlayerRZ::PlayerRZ(std::unique_ptr<platform::AudioDevice> device)
    : engine_(std::make_unique<rozezeru::AudioEngine>(std::move(device))) {
    rzplayer_ = std::make_shared<rozezeru::AudioPlayer>();
    timePitch_ = std::make_shared<rozezeru::TimePitch>(rzplayer_, 1.0f, 0.0f, 8.0f);
    mixer_ = std::make_shared<rozezeru::Mixer>(std::vector<std::shared_ptr<rozezeru::Node>>{timePitch_},
                                               std::nullopt);
    highShelfFilter_ = std::make_shared<rozezeru::HighShelfParametricEqualizerFilter>(mixer_);
    // The file player's time is then the time heard, not the time the stretcher has taken in.
    rzplayer_->setTimeCompensation(std::make_shared<rozezeru::TimePitchCompensation>(timePitch_));
    engine_->setOutput(highShelfFilter_);
    mixer_->setVolume(volume_);
    rozezeru::HasAudioEngine::start();
}

PlayerRZ::~PlayerRZ() {
    fileMonitor_.reset();
    rzplayer_->completionHandler = nullptr;
    rzplayer_->stop();
    engine_->stop();
}

double PlayerRZ::currentTime() const {
    return rzplayer_->currentTime();
}

double PlayerRZ::duration() const {
    // The file player keeps its last file after a failed load; that file is not the player's.
    return playable_ ? rzplayer_->duration() : 0.0;
}

// ---- entry ----

void PlayerRZ::setEntry(std::shared_ptr<PlaylistEntry> entry) {
    stopFilePlayer();
    setPlaying(false);
    entry_.reset();
    // A file that is no longer current is no longer watched: its change must not bring it back.
    fileMonitor_.reset();
    playable_ = false;
    desiredTime_ = 0;
    if (!entry) return;

    load(entry);
    if (playable_) {
        entry_ = std::move(entry);
        return;
    }
    if (entry->storedBookmark) {
        if (std::optional<platform::Url> resolved = resolveBookmark(*entry->storedBookmark)) {
            entry->_url = *resolved;
            if (MainWindowServices* mainWindow = AppServices::mainWindow()) mainWindow->reloadEntryRow(entry);
        } else {
            entry->storedBookmark.reset();
        }
    }
    load(entry);
    if (playable_) {
        entry_ = std::move(entry);
        return;
    }
    entry->fileMissing = !platform::fileExists(entry->_url.path());
}

void PlayerRZ::load(const std::shared_ptr<PlaylistEntry>& entry) {
    if (!engine_->isRunning()) {
        platform::consolePrint("🎈restarting rzplayer");
        rzplayer_->play(std::nullopt, std::nullopt, std::nullopt, playerCallbackType);
    }
    const platform::Url url = entry->_url;
    if (auto loaded = rzplayer_->load(url.path()); !loaded) {
        platform::consolePrint("154 error " + loaded.error().message + " can't open " + url.absoluteString());
        playable_ = false;
        return;
    }

    entry->fileMissing = false;
    watch(entry);
    entry->storedBookmark = makeBookmark(url);
    rzplayer_->setVolume(1.0f);
    desiredTime_ = 0;

    if (auto metadata = platform::readMetadata(url.path()))
        for (const auto& item : metadata->items)
            if (playerPrintsTag(item.key)) platform::consolePrint(item.value);
    playable_ = true;
}

void PlayerRZ::reload() {
    playable_ = false;
    if (!entry_) {
        platform::consolePrint("can't reload()");
        return;
    }
    if (auto loaded = rzplayer_->load(entry_->_url.path()); !loaded) {
        platform::consolePrint("220 can't reopen " + entry_->_url.absoluteString());
        return;
    }
    rzplayer_->setVolume(1.0f);
    playable_ = true;
    takeFileDuration(entry_);
}

void PlayerRZ::replaceFile(std::unique_ptr<platform::AudioFile> file) {
    rzplayer_->load(std::shared_ptr<platform::AudioFile>(std::move(file)));
    rzplayer_->setVolume(1.0f);
    takeFileDuration(entry_);
}

void PlayerRZ::takeFileDuration(const std::shared_ptr<PlaylistEntry>& entry) {
    const double length = rzplayer_->duration();
    if (!entry->_cachedDuration || *entry->_cachedDuration == length) return;
    entry->_cachedDuration = length;
    if (delegate_) delegate_->entryDurationChanged(entry);
}

// ---- position ----

void PlayerRZ::setCurrentTime(double seconds) {
    suspend();
    const double lower = seconds >= 0 ? seconds : 0.0; // also for NaN
    desiredTime_ = std::min(std::max(0.0, duration() - 0.1), lower);
    if (delegate_) delegate_->refreshDisplay();
    resume();
}

// ---- transport ----

void PlayerRZ::play() {
    if (rzplayer_->isPlaying()) return;
    if (!playable_) return refusePlay();
    rzplayer_->completionHandler = [this] { playbackDidComplete(); };
    reload();
    // The file on disk is what plays: when it no longer opens, nothing plays rather than an old file.
    if (!playable_) {
        if (playing_) setPlaying(false);
        return refusePlay();
    }
    if (mode_ == PlayerMode::dance && entry_) entry_->beginTimeRange(desiredTime_);
    if (!engine_->isRunning()) (void)engine_->start();
    rzplayer_->play(desiredTime_, std::nullopt, std::nullopt, playerCallbackType);
    // Playing means heard: a refused start (no running engine) leaves the player stopped.
    if (rzplayer_->isPlaying())
        setPlaying(true);
    else if (playing_)
        setPlaying(false);
}

void PlayerRZ::pause() {
    if (!(playing_ && playable_)) return;
    // Paused first, the file player holds the time reached, for the position and the played range
    // alike; stopped, it would report the time its play started from.
    rzplayer_->pause();
    desiredTime_ = rzplayer_->currentTime();
    recordPlayedRange();
    stopFilePlayer();
}

void PlayerRZ::stopFilePlayer() {
    if (rzplayer_->status() == rozezeru::NodeStatus::Playback::stopped) return;
    rzplayer_->stop();
    // What the stretcher still holds of the old position must not be heard at the next start.
    timePitch_->reset();
}

void PlayerRZ::playbackDidComplete() {
    const std::shared_ptr<PlaylistEntry> finished = entry_;
    // The whole file was heard: the played range reaches its end, whatever the last tick saw.
    if (mode_ == PlayerMode::dance && finished && finished->cachedTimeRangeIndex &&
        finished->currentTimeRangeSet)
        (void)finished->currentTimeRangeSet->extendRange(*finished->cachedTimeRangeIndex,
                                                         rzplayer_->editEndTime());
    // Stopped without a reset of the stretcher: the last of the file it holds is still to be heard.
    rzplayer_->stop();
    finishPlayback();
}

bool PlayerRZ::filePlayerIsPlaying() const {
    return rzplayer_->isPlaying();
}

// ---- sound ----

void PlayerRZ::setVolume(float volume) {
    volume_ = volume;
    mixer_->setVolume(volume);
}

void PlayerRZ::setPan(float pan) {
    mixer_->setPan(pan);
    pan_ = mixer_->pan();
}

void PlayerRZ::setTrebleGain(float gain) {
    highShelfFilter_->gain.setWrappedValue(gain);
}

void PlayerRZ::setRate(float rate) {
    timePitch_->setRate(rate);
}

} // namespace vantle
