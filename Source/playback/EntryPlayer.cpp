#include "Source/playback/EntryPlayer.h"

#include "Source/playback/FileMonitor.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/ui/Badge.h"

namespace vantle {

EntryPlayer::EntryPlayer() = default;
EntryPlayer::~EntryPlayer() = default;

void EntryPlayer::watch(const std::shared_ptr<PlaylistEntry>& entry, std::function<void()> changed) {
    auto monitor =
        std::make_unique<FileMonitor>(entry->_url, platform::FileSystemEvent::all, std::move(changed));
    fileMonitor_ = monitor->isWatching() ? std::move(monitor) : nullptr;
}

void EntryPlayer::skipToEndIfWithin(double seconds) {
    if (!playing_) return;
    const double length = duration();
    if (seconds > length - playbackTime()) setCurrentTime(length);
}

void EntryPlayer::suspend() {
    if (suspended_) return;
    if (playing_ && playable_) pause();
    suspended_ = true;
}

void EntryPlayer::stop() {
    if (!suspended_) pause();
    setPlaying(false);
}

void EntryPlayer::start() {
    if (suspended_)
        setPlaying(true);
    else
        play();
}

void EntryPlayer::resume() {
    if (!suspended_) return;
    suspended_ = false;
    if (playing_) play();
}

void EntryPlayer::setPlaying(bool playing) {
    playing_ = playing;
    if (!delegate_) return;
    platform::dockTile().setBadgeLabel(playing ? "►" : "");
    delegate_->resetScreensaverIdle();
    if (playing) delegate_->clearPrevEntry();
}

void EntryPlayer::finishPlayback() {
    if (delegate_) {
        platform::dockTile().setBadgeLabel("");
        delegate_->resetScreensaverIdle();
        delegate_->playerDidFinish();
    }
    if (playing_ && !filePlayerIsPlaying()) setPlaying(false);
}

} // namespace vantle
