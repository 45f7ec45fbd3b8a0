#include "Source/playback/EntryPlayer.h"

#include "Source/playback/FileMonitor.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/ui/Badge.h"

#include <algorithm>

namespace vantle {

EntryPlayer::EntryPlayer() = default;
EntryPlayer::~EntryPlayer() = default;

void EntryPlayer::watch(const std::shared_ptr<PlaylistEntry>& entry) {
    fileMonitor_.reset();
    auto monitor = std::make_unique<FileMonitor>(
        entry->_url, platform::FileSystemEvent::all,
        [this, entry](platform::FileSystemEvent events) { fileChanged(entry, events); });
    if (!monitor->isWatching()) {
        watchedFile_.reset();
        return;
    }
    fileMonitor_ = std::move(monitor);
    watchedFile_ = FileFingerprint::of(entry->_url.path());
}

void EntryPlayer::watchAgain(const std::shared_ptr<PlaylistEntry>& entry,
                             const std::optional<FileFingerprint>& read) {
    watch(entry);
    // Changed between the read and the new watch: no event of that change will come.
    if (fileMonitor_ && read && watchedFile_ && !watchedFile_->sameBytes(*read)) {
        watchedFile_ = read;
        fileChanged(entry, platform::FileSystemEvent::write);
    }
}

void EntryPlayer::fileChanged(const std::shared_ptr<PlaylistEntry>& entry, platform::FileSystemEvent events) {
    // A monitor goes with its entry; this guards a completion already on its way.
    if (!entry || entry != entry_) return;
    // Its mode or times alone leave the bytes as they were, or a writer is still at them (a copy sets the
    // mode of the file it has just emptied): a write is reported of its own once its writer is done.
    if (events == platform::FileSystemEvent::attrib) return;
    const std::string path = entry->_url.path();
    const std::string described = entry->_url.absoluteString();
    if (!platform::fileExists(path)) {
        // The open file stays readable until it is closed: the song plays on to its end.
        entry->fileMissing = true;
        fileMonitor_.reset();
        watchedFile_.reset();
        platform::consolePrint("🎈file gone, playing on from the open file: " + described);
        return;
    }
    const std::optional<FileFingerprint> now = FileFingerprint::of(path);
    if (now && watchedFile_ && now->sameBytes(*watchedFile_)) {
        // Touched, or written again with the same song. Another file renamed over the old one needs a
        // watch of its own.
        if (!now->sameFile(*watchedFile_)) watchAgain(entry, now);
        return;
    }
    platform::consolePrint("🎈change entry for " + described);
    auto reopened = platform::AudioFile::openForReading(path);
    if (!reopened) {
        // Half written, or no longer audio: what is open plays on; the next event may bring it whole.
        platform::consolePrint("220 can't reopen " + described);
        if (now && watchedFile_ && !now->sameFile(*watchedFile_)) {
            // The file renamed over the old one is the one whose next write counts.
            const std::optional<FileFingerprint> playing = watchedFile_;
            watch(entry);
            if (fileMonitor_) watchedFile_ = playing;
        }
        return;
    }
    suspend();
    const double position = desiredTime_;
    replaceFile(std::move(reopened.value()));
    entry->fileMissing = false;
    // What was read is what was on disk before the open, not what is there by now: a write made
    // meanwhile differs from it, and the watch, kept while the path names its file, reports that write.
    const bool sameWatch = fileMonitor_ && now && watchedFile_ && now->sameFile(*watchedFile_);
    if (sameWatch) watchedFile_ = now;
    desiredTime_ = std::min(position, std::max(0.0, duration() - 0.1));
    if (delegate_) delegate_->refreshDisplay();
    resume();
    if (!sameWatch) watchAgain(entry, now);
}

void EntryPlayer::refusePlay() {
    if (delegate_) delegate_->nothingToPlay();
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
