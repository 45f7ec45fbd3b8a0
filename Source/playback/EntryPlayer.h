#pragma once
// What the two players over the toolkit's engine share: the engine and its file player, the entry with
// its loading and bookmark fallback, the position kept while nothing plays, seeks and their suspension,
// the transport, the played ranges, the user's playing intent with its badge and delegate calls, the
// watch on the entry's file with its change rules, and the kept sound settings. Each player builds its
// own chain behind the file player and brings its own sound controls. Main thread only.

#include "RozezEru/Internals/HasAudioEngine.h"
#include "Source/playback/FileFingerprint.h"
#include "Source/playback/Player.h"
#include "platform/dispatch/FileSystemWatch.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {
class AudioDevice;
class AudioFile;
} // namespace platform

namespace rozezeru {
class AudioEngine;
class AudioPlayer;
} // namespace rozezeru

namespace vantle {

class FileMonitor;

class EntryPlayer : public ApplicationPlayer, public rozezeru::HasAudioEngine {
public:
    // Stops the file player and the engine; no completion of the file player or the monitor runs after.
    ~EntryPlayer() override;
    EntryPlayer(const EntryPlayer&) = delete;
    EntryPlayer& operator=(const EntryPlayer&) = delete;

    // ---- HasAudioEngine ----
    rozezeru::AudioEngine& engine() override { return *engine_; }

    // ---- ApplicationPlayer ----
    PlayerMode mode() const override { return mode_; }
    std::shared_ptr<PlaylistEntry> entry() const override { return entry_; }
    double desiredTime() const override { return desiredTime_; }

    void setEntry(std::shared_ptr<PlaylistEntry> entry) override;
    void setCurrentTime(double seconds) override;
    void skipToEndIfWithin(double seconds) override;
    double duration() const override;
    bool countingLength() const override { return countRunning_ != 0; }
    void play() override;
    void pause() override;
    void suspend() override;
    void stop() override;
    void start() override;
    void resume() override;
    bool playable() const override { return playable_; }
    bool suspended() const override { return suspended_; }
    bool playing() const override { return playing_; }
    void setPlaying(bool playing) override;
    void setMode(PlayerMode mode) override { mode_ = mode; }
    PlayerDelegate* delegate() const override { return delegate_; }
    void setDelegate(PlayerDelegate* delegate) override { delegate_ = delegate; }
    float volume() const override { return volume_; }
    float pan() const override { return pan_; }
    float treble() const override { return treble_; }
    void setTreble(float treble) override { treble_ = treble; }
    int keyShift() const override { return keyShift_; }
    void setKeyShift(int semitones) override;

    // ---- the steps the operations above are made of ----

    // Opens the entry's file in the file player, watches it and renews its bookmark; playable() tells
    // whether it opened. A length that is only an estimate is counted off the main thread and taken, in
    // place, once it comes. A song archive's audio has been read aside first (setEntry).
    virtual void load(const std::shared_ptr<PlaylistEntry>& entry);
    // The file player's end of the file, on the main queue.
    void playbackDidComplete();

    // The monitor on the current file; null when none is watched.
    const FileMonitor* fileMonitor() const { return fileMonitor_.get(); }

    // The file monitor's callback, on the main queue. A class is listening: a change event never stops
    // the music by itself. The same bytes as before (a `touch`) change nothing; other bytes are read
    // anew in place, keeping the playing state and the position (within the new length); a file gone
    // or moved away plays on from what is open, and the entry is marked missing.
    // A change of mode or times alone reads nothing, nor does growth while its writer is still at it,
    // unless the file open held less than its header states (then its new length is taken at once,
    // and a playing song goes on into the new frames without a break).
    // What was read is what the file held before it was opened, so a write made while it is read is
    // read in turn. A song archive is read on a background queue, and handled here once it is.
    void fileChanged(const std::shared_ptr<PlaylistEntry>& entry, platform::FileSystemEvent events);

protected:
    // The engine plays through `device`; the subclass puts its chain behind filePlayer_ as the
    // engine's output and starts the engine. A seek without a file keeps at most
    // `seekLimitWithoutFile`.
    EntryPlayer(std::unique_ptr<platform::AudioDevice> device, double seekLimitWithoutFile);

    // Stops a playing or paused file player, and whatever of it the chain still holds.
    virtual void stopFilePlayer();
    // Right before a play starts, with an entry: false when there is nothing to play after all (the
    // player is then stopped and the delegate told). The file open plays; one that no longer reads is
    // looked for again by its path.
    virtual bool readyToPlay();
    // readyToPlay's end: true when playable, else stops and tells the delegate.
    bool playableOrRefused();
    // Play was asked for but there is nothing to play: the delegate is told.
    void refusePlay();
    // Opens the current entry's file again by its path (needs an entry); a file back at its path is
    // watched anew and no longer missing. When the path no longer opens (the file or its folder moved
    // away, or spoilt), the file that is open goes on as long as it still reads: playable() tells.
    void reopen();
    // After reopen() opened the entry's file by its path, or the file player took the file read anew
    // after a change on disk (the grown file, or the replaced one).
    virtual void fileReopened() {}
    // After the entry's file was opened again: a cached duration that the file no longer has, or that
    // has become final (the file's writer done), is replaced, and the delegate told. One not measured
    // yet stays so unless `evenUnmeasured` (nothing else measures it).
    void takeFileDuration(const std::shared_ptr<PlaylistEntry>& entry, bool evenUnmeasured = false);
    // Gives the key shift to the chain; a player without a pitch stage only keeps it.
    virtual void applyKeyShift(int /*semitones*/) {}

    std::unique_ptr<rozezeru::AudioEngine> engine_;
    // The head of the chain: the current entry's file.
    std::shared_ptr<rozezeru::AudioPlayer> filePlayer_;
    std::shared_ptr<PlaylistEntry> entry_;
    bool playable_ = false;
    bool suspended_ = false;
    bool playing_ = false;
    // The entry's path was found not to open and the console was told; said again only after it opened.
    bool reopenFailureSaid_ = false;
    double desiredTime_ = 0;
    // A place asked for past the end of a length that is still an estimate: taken once the count says
    // where the end is, unless something else moved the position first.
    std::optional<double> timeAskedPastEstimate_;
    PlayerMode mode_ = PlayerMode::dance;
    PlayerDelegate* delegate_ = nullptr;
    float volume_ = 0.5f;
    float pan_ = 0;
    float treble_ = 0;
    int keyShift_ = 0;

private:
    // Loads `entry`, looking for it again by its bookmark when its path does not open (unless
    // `lookedAgain`). A song archive's audio is first read on a worker (readArchiveForLoad): meanwhile the
    // entry is the player's, not playable, a seek is kept and a play waits for the load.
    void loadOrLookAgain(std::shared_ptr<PlaylistEntry> entry, bool lookedAgain);
    struct ArchiveLoad;
    void readArchiveForLoad(bool lookedAgain);
    // Watches `entry`'s file (fileChanged on each event) and notes what it holds, or `held` when the
    // caller knows that already; nothing is watched where the file cannot be.
    void watch(const std::shared_ptr<PlaylistEntry>& entry,
               std::optional<FileFingerprint> held = std::nullopt);
    // Watches `entry`'s file anew after `read` was read of it, and reads it again at once when it no
    // longer holds that.
    void watchAgain(const std::shared_ptr<PlaylistEntry>& entry, const std::optional<FileFingerprint>& read);
    // A song archive changed on disk, opened off the main thread; fileChanged runs again when it is.
    struct ArchiveAside;
    void readArchiveAside(const std::shared_ptr<PlaylistEntry>& entry);
    // When the length of the file open is only an estimate (an MP3 whose header states less than the file
    // holds), counts its frames on a worker; the count is taken by lengthCounted() while this is still the
    // player's last count and `entry` still current.
    void countLength(const std::shared_ptr<PlaylistEntry>& entry);
    // The file open is read again with its counted length: what plays goes on, and the entry gets it.
    void lengthCounted();
    // Takes a longer take of the playing file without a break; false when it cannot.
    bool playOnInto(const std::shared_ptr<platform::AudioFile>& file);
    // Reads the file anew at the position it had, paused around the load.
    void loadInPlace(std::shared_ptr<platform::AudioFile> file);

    const double seekLimitWithoutFile_;
    // The path last refused on the console for naming no regular file.
    std::optional<std::string> refusalSaid_;
    std::unique_ptr<FileMonitor> fileMonitor_;
    // What the watched file held when it was opened.
    std::optional<FileFingerprint> watchedFile_;
    // The counts of a length begun so far; one that comes back to another count, or finds it gone with the
    // player, is dropped.
    std::shared_ptr<std::uint64_t> lengthCounts_ = std::make_shared<std::uint64_t>(0);
    // The count begun last while it runs; 0 once it has come back.
    std::uint64_t countRunning_ = 0;
    // The reader the last count reads through, while it runs.
    std::weak_ptr<platform::AudioFile> countedFile_;
    // The entry whose changed archive is being read aside, and what the last such read gave.
    std::weak_ptr<PlaylistEntry> readingAsideFor_;
    std::shared_ptr<ArchiveAside> archiveAside_;
    // The current entry's song archive being read for its load, or read and about to be loaded.
    std::shared_ptr<ArchiveLoad> archiveLoad_;
};

} // namespace vantle
