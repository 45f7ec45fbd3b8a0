#include "Source/playback/EntryPlayer.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "Source/playback/FileMonitor.h"
#include "Source/session/AppServices.h"
#include "Source/session/Bookmark.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/AudioDevice.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Badge.h"

#include <algorithm>
#include <utility>

namespace vantle {

namespace {

constexpr auto playerCallbackType = rozezeru::AudioPlayer::CompletionCallbackType::dataPlayedBack;

} // namespace

EntryPlayer::EntryPlayer(std::unique_ptr<platform::AudioDevice> device, double seekLimitWithoutFile)
    : engine_(std::make_unique<rozezeru::AudioEngine>(std::move(device))),
      filePlayer_(std::make_shared<rozezeru::AudioPlayer>()), seekLimitWithoutFile_(seekLimitWithoutFile) {}

EntryPlayer::~EntryPlayer() {
    fileMonitor_.reset();
    filePlayer_->completionHandler = nullptr;
    filePlayer_->stop();
    engine_->stop();
}

double EntryPlayer::duration() const {
    // The file player keeps its last file after a failed load; that file is not the player's.
    return playable_ ? filePlayer_->duration() : 0.0;
}

// ---- entry ----

struct EntryPlayer::ArchiveLoad {
    std::string path;
    bool done = false;
    // The read's result once done: holding it holds the archive's audio in memory for the load.
    platform::Result<std::shared_ptr<platform::AudioFile>> opened = std::shared_ptr<platform::AudioFile>();
    // Play was asked for while it was read: the song starts once it is loaded.
    bool play = false;
};

void EntryPlayer::setEntry(std::shared_ptr<PlaylistEntry> entry) {
    stopFilePlayer();
    setPlaying(false);
    entry_.reset();
    reopenFailureSaid_ = false;
    // A file that is no longer current is no longer watched: its change must not bring it back.
    fileMonitor_.reset();
    playable_ = false;
    desiredTime_ = 0;
    timeAskedPastEstimate_.reset();
    archiveLoad_.reset();
    if (!entry) return;
    loadOrLookAgain(std::move(entry), false);
}

void EntryPlayer::loadOrLookAgain(std::shared_ptr<PlaylistEntry> entry, bool lookedAgain) {
    if (platform::isSongArchivePath(entry->_url.path()) && !(archiveLoad_ && archiveLoad_->done)) {
        entry_ = std::move(entry);
        return readArchiveForLoad(lookedAgain);
    }
    load(entry);
    archiveLoad_.reset();
    if (playable_) {
        entry_ = std::move(entry);
        return;
    }
    if (!lookedAgain) {
        if (entry->storedBookmark) {
            if (std::optional<platform::Url> resolved = resolveBookmark(*entry->storedBookmark)) {
                entry->_url = *resolved;
                if (MainWindowServices* mainWindow = AppServices::mainWindow())
                    mainWindow->reloadEntryRow(entry);
            } else {
                entry->storedBookmark.reset();
            }
        }
        return loadOrLookAgain(std::move(entry), true);
    }
    entry->fileMissing = !platform::fileExists(entry->_url.path());
}

// ---- a song archive's first load ----

void EntryPlayer::readArchiveForLoad(bool lookedAgain) {
    auto load = std::make_shared<ArchiveLoad>();
    load->path = entry_->_url.path();
    load->play = archiveLoad_ && archiveLoad_->play;
    archiveLoad_ = load;
    std::weak_ptr<std::uint64_t> alive = lengthCounts_;
    // Its audio is read whole, up to hundreds of MiB: never on the main thread.
    platform::globalQueue().async([this, alive, load, lookedAgain] {
        auto opened = platform::AudioFile::openForReading(load->path);
        if (opened)
            load->opened = std::shared_ptr<platform::AudioFile>(std::move(opened.value()));
        else
            load->opened = opened.error();
        platform::mainQueue().async([this, alive, load, lookedAgain] {
            // The token goes with the player: while it is there, so is the player.
            if (!alive.lock() || archiveLoad_ != load || !entry_) return;
            load->done = true;
            const double asked = desiredTime_;
            std::shared_ptr<PlaylistEntry> entry = std::exchange(entry_, nullptr);
            loadOrLookAgain(entry, lookedAgain);
            if (archiveLoad_) {
                // Found again by its bookmark, as another archive being read in turn.
                archiveLoad_->play = load->play;
                return;
            }
            if (playable_) {
                desiredTime_ = std::min(asked, std::max(0.0, duration() - 0.1));
                // The window does not measure an archive itself: the length comes with the load.
                takeFileDuration(entry, true);
            }
            if (delegate_) delegate_->refreshDisplay();
            if (load->play) playable_ ? play() : refusePlay();
        });
    });
}

void EntryPlayer::load(const std::shared_ptr<PlaylistEntry>& entry) {
    const platform::Url url = entry->_url;
    // A song archive's audio read aside for this load is taken as it is: read here again, it would hold
    // the window.
    const bool readAside = archiveLoad_ && archiveLoad_->done && archiveLoad_->path == url.path();
    platform::Result<void> loaded;
    if (readAside && archiveLoad_->opened)
        filePlayer_->load(archiveLoad_->opened.value());
    else
        loaded =
            readAside ? platform::Result<void>(archiveLoad_->opened.error()) : filePlayer_->load(url.path());
    if (!loaded) {
        // A FIFO, device, socket or system file is refused unread, alike at every try and for every entry
        // of the path (a session opened again has entries of its own): said once, until a song opens.
        const bool notRegular = loaded.error().domain == platform::audioFileErrorDomain &&
                                (loaded.error().code == int(platform::AudioFileError::notRegularFile) ||
                                 loaded.error().code == int(platform::AudioFileError::systemFile));
        const bool said = notRegular && refusalSaid_ == url.path();
        if (!said)
            platform::consolePrint("154 error " + loaded.error().message + " can't open " +
                                   url.absoluteString());
        // Any other failure is a new state of the path: a FIFO made there again is said again.
        refusalSaid_ = notRegular ? std::optional<std::string>(url.path()) : std::nullopt;
        playable_ = false;
        return;
    }
    refusalSaid_.reset();
    entry->fileMissing = false;
    // A song archive read from a document is known by its audio's name once opened: the row shows it.
    if (const std::shared_ptr<platform::AudioFile>& file = filePlayer_->file();
        file && file->archiveMember() != entry->archivedAudio) {
        entry->archivedAudio = file->archiveMember();
        if (MainWindowServices* mainWindow = AppServices::mainWindow()) mainWindow->reloadEntryRow(entry);
    }
    // The singer's key goes with the song: each load sets it, before anything of the song is heard.
    setKeyShift(entry->keyShift);
    watch(entry);
    entry->storedBookmark = makeBookmark(url);
    desiredTime_ = 0;
    playable_ = true;
    countLength(entry);
}

void EntryPlayer::setKeyShift(int semitones) {
    static_assert(maximumKeyShift == PlaylistEntry::keyShiftLimit);
    const int key = std::clamp(semitones, -maximumKeyShift, maximumKeyShift);
    if (key == keyShift_) return;
    keyShift_ = key;
    applyKeyShift(key);
    if (delegate_) delegate_->keyShiftChanged();
}

void EntryPlayer::takeFileDuration(const std::shared_ptr<PlaylistEntry>& entry, bool evenUnmeasured) {
    const double length = filePlayer_->duration();
    if (!entry->_cachedDuration && !evenUnmeasured) return;
    const std::shared_ptr<platform::AudioFile>& file = filePlayer_->file();
    const bool provisional = file && (!file->isComplete() || !file->isLengthExact());
    const bool estimate = file && !file->isLengthExact();
    if (entry->_cachedDuration == length && entry->durationIsProvisional == provisional &&
        entry->durationIsEstimate == estimate)
        return;
    entry->_cachedDuration = length;
    entry->durationIsProvisional = provisional;
    entry->durationIsEstimate = estimate;
    if (delegate_) delegate_->entryDurationChanged(entry);
}

// ---- a length estimated at first ----

void EntryPlayer::countLength(const std::shared_ptr<PlaylistEntry>& entry) {
    const std::uint64_t count = ++*lengthCounts_;
    const std::shared_ptr<platform::AudioFile>& open = filePlayer_->file();
    if (!open || open->isLengthExact()) return;
    // A reader of its own: the file player's is read by the player's threads.
    auto reader = open->openAgain();
    if (!reader) return;
    std::weak_ptr<std::uint64_t> counts = lengthCounts_;
    std::weak_ptr<PlaylistEntry> counted = entry;
    countRunning_ = count;
    auto file = std::shared_ptr<platform::AudioFile>(std::move(reader.value()));
    countedFile_ = file;
    platform::globalQueue().async([this, counts, count, counted, file = std::move(file)] {
        // Counting reads the whole stream, hours of it perhaps: never on the main thread.
        platform::Result<void> measured = file->measureLength();
        platform::mainQueue().async([this, counts, count, counted, measured, url = file->path()] {
            // The count goes with the player: while it is there, so is the player.
            const std::shared_ptr<std::uint64_t> last = counts.lock();
            if (!last) return;
            if (countRunning_ == count) countRunning_ = 0;
            if (*last != count || !entry_ || entry_ != counted.lock()) return;
            if (!measured) {
                platform::consolePrint("can't count the length of " + url + ": " + measured.error().message);
                return;
            }
            lengthCounted();
        });
    });
}

void EntryPlayer::lengthCounted() {
    const std::shared_ptr<platform::AudioFile>& open = filePlayer_->file();
    // Opened again since the count, the file already has its length.
    if (!open || open->isLengthExact()) return;
    auto again = open->openAgain();
    // Changed since it was counted: its own change event reads it again.
    if (!again || !(*again)->isLengthExact()) return;
    std::shared_ptr<platform::AudioFile> file = std::move(again.value());
    if (playOnInto(file)) return;
    // Shorter than the estimate, or not playing: read anew in place.
    loadInPlace(std::move(file));
}

bool EntryPlayer::playOnInto(const std::shared_ptr<platform::AudioFile>& file) {
    if (!filePlayer_->isPlaying() || !filePlayer_->takeGrownFile(file)) return false;
    fileReopened();
    if (delegate_) delegate_->refreshDisplay();
    return true;
}

void EntryPlayer::loadInPlace(std::shared_ptr<platform::AudioFile> file) {
    suspend();
    const double position = std::exchange(timeAskedPastEstimate_, std::nullopt).value_or(desiredTime_);
    filePlayer_->load(std::move(file));
    fileReopened();
    desiredTime_ = std::min(position, std::max(0.0, duration() - 0.1));
    if (delegate_) delegate_->refreshDisplay();
    resume();
}

// ---- the watch on the file ----

struct EntryPlayer::ArchiveAside {
    std::optional<platform::FileStamp> stamp; // of the archive before it was read
    platform::Result<std::unique_ptr<platform::AudioFile>> opened;
};

void EntryPlayer::watch(const std::shared_ptr<PlaylistEntry>& entry, std::optional<FileFingerprint> held) {
    fileMonitor_.reset();
    auto monitor = std::make_unique<FileMonitor>(
        entry->_url, platform::FileSystemEvent::all,
        [this, entry](platform::FileSystemEvent events) { fileChanged(entry, events); });
    if (!monitor->isWatching()) {
        watchedFile_.reset();
        return;
    }
    fileMonitor_ = std::move(monitor);
    watchedFile_ = held ? std::move(held) : FileFingerprint::of(entry->_url.path());
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
    // Grown while its writer is still at it: only a file whose header already states its full length
    // (opened while it held less) is worth reading yet; any other is read once its writer is done.
    if (!contains(events, platform::FileSystemEvent::write) &&
        (events & (platform::FileSystemEvent::deleted | platform::FileSystemEvent::rename |
                   platform::FileSystemEvent::link | platform::FileSystemEvent::revoke)) ==
            platform::FileSystemEvent::none) {
        const std::shared_ptr<platform::AudioFile>& open = filePlayer_->file();
        if (!open || open->isComplete()) return;
    }
    const std::string path = entry->_url.path();
    const std::string described = entry->_url.absoluteString();
    const std::optional<FileFingerprint> now = FileFingerprint::of(path);
    // Only a path that names no readable file is looked up again, to tell a file gone from one that
    // cannot be read.
    if (!now && !platform::fileExists(path)) {
        // The open file stays readable until it is closed: the song plays on to its end.
        entry->fileMissing = true;
        fileMonitor_.reset();
        watchedFile_.reset();
        platform::consolePrint("🎈file gone, playing on from the open file: " + described);
        return;
    }
    if (now && watchedFile_ && now->sameBytes(*watchedFile_)) {
        // Touched, or written again with the same song. Another file renamed over the old one needs a
        // watch of its own.
        if (!now->sameFile(*watchedFile_)) watchAgain(entry, now);
        return;
    }
    // A read aside serves only the state of the file it was taken of.
    const std::shared_ptr<ArchiveAside> aside = std::exchange(archiveAside_, nullptr);
    const std::optional<platform::FileStamp> stamp = platform::fileStamp(path);
    const bool readAside = aside && aside->stamp && aside->stamp == stamp;
    if (now && platform::isSongArchivePath(path) && !readAside) return readArchiveAside(entry);
    platform::consolePrint("🎈change entry for " + described);
    auto reopened = readAside ? std::move(aside->opened) : platform::AudioFile::openForReading(path);
    // Read in the background, an archive's change would otherwise go unseen: said in the window.
    const std::string archiveName = "“" + platform::printableLine(entry->_url.lastPathComponent()) + "”";
    if (!reopened) {
        // Half written, or no longer audio: what is open plays on; the next event may bring it whole.
        platform::consolePrint("220 can't reopen " + described);
        if (readAside && delegate_)
            delegate_->songArchiveChanged(archiveName + " changed on disk and cannot be read (" +
                                          platform::printableLine(reopened.error().message) +
                                          "): what was read before plays on");
        if (now && watchedFile_ && !now->sameFile(*watchedFile_)) {
            // The file renamed over the old one is the one whose next write counts.
            watch(entry, watchedFile_);
        }
        return;
    }
    std::shared_ptr<platform::AudioFile> file = std::move(reopened.value());
    // The same file, grown since it was opened short of the length its header states: what plays goes
    // on into the new frames. Reloading would restart the music at each step of its writer.
    const std::shared_ptr<platform::AudioFile>& open = filePlayer_->file();
    const bool grown = open && !open->isComplete() && now && watchedFile_ && now->sameFile(*watchedFile_) &&
                       now->size >= watchedFile_->size;
    entry->fileMissing = false;
    if (grown && playOnInto(file)) {
        watchedFile_ = now;
        return;
    }
    // What was read is what was on disk before the open, not what is there by now: a write made
    // meanwhile differs from it, and the watch, kept while the path names its file, reports that write.
    const bool sameWatch = fileMonitor_ && now && watchedFile_ && now->sameFile(*watchedFile_);
    if (sameWatch) watchedFile_ = now;
    loadInPlace(std::move(file));
    if (readAside && delegate_)
        delegate_->songArchiveChanged(archiveName + " changed on disk and was read again");
    countLength(entry);
    if (!sameWatch) watchAgain(entry, now);
}

void EntryPlayer::readArchiveAside(const std::shared_ptr<PlaylistEntry>& entry) {
    // The read under way sees this change too, or the check when it comes back does.
    if (readingAsideFor_.lock() == entry) return;
    readingAsideFor_ = entry;
    std::weak_ptr<std::uint64_t> alive = lengthCounts_;
    std::weak_ptr<PlaylistEntry> changed = entry;
    // Its audio is read whole, up to hundreds of MiB: never on the main thread.
    platform::globalQueue().async([this, alive, changed, path = entry->_url.path()] {
        auto aside = std::make_shared<ArchiveAside>(
            ArchiveAside{platform::fileStamp(path), platform::AudioFile::openForReading(path)});
        platform::mainQueue().async([this, alive, changed, aside] {
            // The token goes with the player: while it is there, so is the player.
            if (!alive.lock()) return;
            const std::shared_ptr<PlaylistEntry> entry = changed.lock();
            if (readingAsideFor_.lock() == entry) readingAsideFor_.reset();
            if (!entry || entry != entry_) return;
            archiveAside_ = aside;
            fileChanged(entry, platform::FileSystemEvent::write);
            // Taken by fileChanged, or of a state of the file already gone.
            archiveAside_.reset();
        });
    });
}

void EntryPlayer::reopen() {
    // Still being read for its load, which opens it.
    if (archiveLoad_) return;
    const bool wasPlayable = playable_;
    playable_ = false;
    const std::string path = entry_->_url.path();
    if (auto loaded = filePlayer_->load(path); !loaded) {
        // Once: every play and seek looks for the file again, and a slider dragged would repeat it.
        if (!std::exchange(reopenFailureSaid_, true))
            platform::consolePrint("220 can't reopen " + entry_->_url.absoluteString());
        // The path may name nothing now (a folder renamed or unplugged is no event of the file's own
        // watch), or something else: the song is the file still open, while that reads.
        if (!platform::fileExists(path)) entry_->fileMissing = true;
        const std::shared_ptr<platform::AudioFile>& open = filePlayer_->file();
        playable_ = wasPlayable && open && open->openAgain();
        return;
    }
    playable_ = true;
    reopenFailureSaid_ = false;
    entry_->fileMissing = false;
    // Back at its path, maybe as another file: the watch goes to the file the path names.
    if (!fileMonitor_ || !watchedFile_ || !watchedFile_->namedBy(path)) watch(entry_);
    fileReopened();
    // A file's own count still running serves the file, and a song archive's while its copy in memory
    // is the one counted; the archive changed on disk is a new copy, which no count has seen.
    const std::shared_ptr<platform::AudioFile>& open = filePlayer_->file();
    const std::shared_ptr<platform::AudioFile> counted = countedFile_.lock();
    const bool newCopy =
        open && !open->archiveMember().empty() && !(counted && counted->sharesArchiveCopyWith(*open));
    if (!countingLength() || newCopy) countLength(entry_);
}

// ---- position ----

void EntryPlayer::setCurrentTime(double seconds) {
    const double lower = seconds >= 0 ? seconds : 0.0; // also for NaN
    if (archiveLoad_) {
        // Taken, within the song's length, once it is loaded.
        desiredTime_ = lower;
        if (delegate_) delegate_->refreshDisplay();
        return;
    }
    suspend();
    // The file or its folder may be back; while nothing reads, the song's length still bounds the seek.
    if (entry_ && !playable_) reopen();
    const double upper = entry_ ? std::max(0.0, filePlayer_->duration() - 0.1) : seekLimitWithoutFile_;
    desiredTime_ = std::min(upper, lower);
    const std::shared_ptr<platform::AudioFile>& file = filePlayer_->file();
    timeAskedPastEstimate_.reset();
    if (entry_ && lower > upper && file && !file->isLengthExact()) timeAskedPastEstimate_ = lower;
    if (delegate_) delegate_->refreshDisplay();
    resume();
}

void EntryPlayer::skipToEndIfWithin(double seconds) {
    if (!playing_) return;
    const double length = duration();
    if (seconds > length - playbackTime()) setCurrentTime(length);
}

// ---- transport ----

void EntryPlayer::play() {
    if (filePlayer_->isPlaying()) return;
    if (!entry_) return refusePlay();
    if (archiveLoad_) {
        archiveLoad_->play = true;
        return;
    }
    // Played from where it stands, the place shown is the one meant.
    timeAskedPastEstimate_.reset();
    filePlayer_->completionHandler = [this] { playbackDidComplete(); };
    if (!readyToPlay()) return;
    if (mode_ == PlayerMode::dance) entry_->beginTimeRange(desiredTime_);
    if (!engine_->isRunning()) (void)engine_->start();
    filePlayer_->play(desiredTime_, std::nullopt, std::nullopt, playerCallbackType);
    // Playing means heard: a refused start (no running engine) leaves the player stopped.
    if (filePlayer_->isPlaying()) return setPlaying(true);
    if (playing_) setPlaying(false);
    // The engine runs, yet nothing of the file could be scheduled: it no longer reads (its device
    // gone). Said, never silence without a word; a later play looks for it again.
    if (engine_->isRunning()) {
        playable_ = false;
        if (!platform::fileExists(entry_->_url.path())) entry_->fileMissing = true;
        refusePlay();
    }
}

bool EntryPlayer::readyToPlay() {
    if (!playable_) reopen();
    return playableOrRefused();
}

bool EntryPlayer::playableOrRefused() {
    if (playable_) return true;
    if (playing_) setPlaying(false);
    refusePlay();
    return false;
}

void EntryPlayer::pause() {
    if (archiveLoad_) archiveLoad_->play = false;
    if (!(playing_ && playable_)) return;
    // Paused first, the file player holds the time reached, for the position and the played range
    // alike; stopped, it would report the time its play started from.
    filePlayer_->pause();
    desiredTime_ = filePlayer_->currentTime();
    recordPlayedRange();
    stopFilePlayer();
}

void EntryPlayer::stopFilePlayer() {
    filePlayer_->stop();
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

void EntryPlayer::refusePlay() {
    if (delegate_) delegate_->nothingToPlay();
}

void EntryPlayer::setPlaying(bool playing) {
    playing_ = playing;
    if (!delegate_) return;
    platform::dockTile().setBadgeLabel(playing ? "►" : "");
    delegate_->resetScreensaverIdle();
    if (playing) delegate_->clearPrevEntry();
}

void EntryPlayer::playbackDidComplete() {
    const std::shared_ptr<PlaylistEntry> finished = entry_;
    // The whole file was heard: the played range reaches its end, whatever the last tick saw.
    if (mode_ == PlayerMode::dance && finished && finished->cachedTimeRangeIndex &&
        finished->currentTimeRangeSet)
        (void)finished->currentTimeRangeSet->extendRange(*finished->cachedTimeRangeIndex,
                                                         filePlayer_->editEndTime());
    // Stopped without emptying the chain: the last of the file it may hold is still to be heard.
    filePlayer_->stop();
    if (delegate_) {
        platform::dockTile().setBadgeLabel("");
        delegate_->resetScreensaverIdle();
        delegate_->playerDidFinish();
    }
    // The delegate may have gone on with the next entry; when nothing plays on, nothing is playing.
    if (playing_ && !filePlayer_->isPlaying()) setPlaying(false);
}

} // namespace vantle
