#pragma once
// What the two players over the toolkit's engine share: the entry, the position kept while nothing
// plays, the suspension of a seek, the user's playing intent with its badge and delegate calls, and
// the kept sound settings. Each player brings its own chain, loading, seeking and transport. Main
// thread only.

#include "RozezEru/Internals/HasAudioEngine.h"
#include "Source/playback/Player.h"

#include <functional>
#include <memory>

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

protected:
    EntryPlayer();
    // Watches `entry`'s file, calling `changed` on the main queue; nothing is watched where the
    // folder cannot be.
    void watch(const std::shared_ptr<PlaylistEntry>& entry, std::function<void()> changed);
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
    float volume_ = 0.5f;
    float pan_ = 0;
    float treble_ = 0;
};

} // namespace vantle
