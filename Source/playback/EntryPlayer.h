#pragma once
// What the two players over the toolkit's engine share: the entry, the position kept while nothing
// plays, the suspension of a seek, the user's playing intent with its badge and delegate calls, and
// the kept sound settings. Each player brings its own chain, loading, seeking and transport. Main
// thread only.

#include "RozezEru/Internals/HasAudioEngine.h"
#include "Source/playback/FileFingerprint.h"
#include "Source/playback/Player.h"
#include "platform/dispatch/FileSystemWatch.h"

#include <memory>
#include <optional>

namespace platform {
class AudioFile;
}

namespace vantle {

class FileMonitor;

class EntryPlayer : public ApplicationPlayer, public rozezeru::HasAudioEngine {
public:
    ~EntryPlayer() override;

    PlayerMode mode() const override { return mode_; }
    std::shared_ptr<PlaylistEntry> entry() const override { return entry_; }
    double desiredTime() const override { return desiredTime_; }

    void skipToEndIfWithin(double seconds) override;
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

    // The monitor on the current file; null when none is watched.
    const FileMonitor* fileMonitor() const { return fileMonitor_.get(); }

    // The file monitor's callback, on the main queue. A class is listening: a change event never stops
    // the music by itself. The same bytes as before (a `touch`) change nothing; other bytes are read
    // anew in place, keeping the playing state and the position (within the new length); a file gone
    // or moved away plays on from what is open, and the entry is marked missing.
    // A change of mode or times alone reads nothing. What was read is what the file held before it was
    // opened, so a write made while it is read is read in turn.
    void fileChanged(const std::shared_ptr<PlaylistEntry>& entry, platform::FileSystemEvent events);

protected:
    EntryPlayer();
    // Watches `entry`'s file (fileChanged on each event) and notes what it holds; nothing is
    // watched where the file cannot be.
    void watch(const std::shared_ptr<PlaylistEntry>& entry);
    // Watches `entry`'s file anew after `read` was read of it, and reads it again at once when it no
    // longer holds that.
    void watchAgain(const std::shared_ptr<PlaylistEntry>& entry, const std::optional<FileFingerprint>& read);
    // Puts the reopened file of the current entry in the file player, which is stopped.
    virtual void replaceFile(std::unique_ptr<platform::AudioFile> file) = 0;
    // Play was asked for but there is nothing to play: the delegate is told.
    void refusePlay();
    // The end of the file was heard and the file player stopped: the delegate is told (it may play
    // the next entry), and when nothing plays on the player no longer counts as playing.
    void finishPlayback();
    virtual bool filePlayerIsPlaying() const = 0;

    std::shared_ptr<PlaylistEntry> entry_;
    bool playable_ = false;
    bool suspended_ = false;
    bool playing_ = false;
    double desiredTime_ = 0;
    PlayerMode mode_ = PlayerMode::dance;
    PlayerDelegate* delegate_ = nullptr;
    std::unique_ptr<FileMonitor> fileMonitor_;
    // What the watched file held when it was opened.
    std::optional<FileFingerprint> watchedFile_;
    float volume_ = 0.5f;
    float pan_ = 0;
    float treble_ = 0;
};

} // namespace vantle
