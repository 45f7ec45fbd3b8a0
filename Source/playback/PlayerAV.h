#pragma once
// A plain player for an entry: the file player alone, straight to the output, without speed, treble or
// balance. It keeps the position, suspension, played-range and delegate rules of PlayerRZ, so that the
// main view could drive either one; the application itself plays through PlayerRZ. Main thread only.

#include "RozezEru/Internals/HasAudioEngine.h"
#include "Source/playback/Player.h"

#include <memory>

namespace platform {
class AudioDevice;
}

namespace rozezeru {
class AudioEngine;
class AudioPlayer;
} // namespace rozezeru

namespace vantle {

class FileMonitor;

class PlayerAV final : public ApplicationPlayer, public rozezeru::HasAudioEngine {
public:
    explicit PlayerAV(std::unique_ptr<platform::AudioDevice> device);
    ~PlayerAV() override;
    PlayerAV(const PlayerAV&) = delete;
    PlayerAV& operator=(const PlayerAV&) = delete;

    rozezeru::AudioEngine& engine() override { return *engine_; }

    PlayerMode mode() const override { return mode_; }
    std::shared_ptr<PlaylistEntry> entry() const override { return entry_; }
    double currentTime() const override;
    double desiredTime() const override { return desiredTime_; }

    void setEntry(std::shared_ptr<PlaylistEntry> entry) override;
    void setCurrentTime(double seconds) override;
    void skipToEndIfWithin(double seconds) override;
    double duration() const override;
    void play() override;
    void pause() override;
    void suspend() override;
    void stop() override;
    void start() override;
    void resume() override;
    bool playable() const override { return loaded_; }
    bool suspended() const override { return suspended_; }
    bool playing() const override { return playing_; }
    void setPlaying(bool playing) override;
    void setMode(PlayerMode mode) override { mode_ = mode; }
    PlayerDelegate* delegate() const override { return delegate_; }
    void setDelegate(PlayerDelegate* delegate) override { delegate_ = delegate; }
    // The file player's own volume; no load resets it.
    float volume() const override { return volume_; }
    void setVolume(float volume) override;
    // Kept only: this player has no balance, treble or speed.
    float pan() const override { return pan_; }
    void setPan(float pan) override { pan_ = pan; }
    float treble() const override { return treble_; }
    void setTreble(float treble) override { treble_ = treble; }
    void setTrebleGain(float) override {}
    void setRate(float) override {}

    // The file player's end of the file, on the main queue.
    void playbackDidComplete();

private:
    std::unique_ptr<rozezeru::AudioEngine> engine_;
    std::shared_ptr<rozezeru::AudioPlayer> avplayer_;
    std::shared_ptr<PlaylistEntry> entry_;
    bool loaded_ = false;
    bool suspended_ = false;
    double desiredTime_ = 0;
    PlayerDelegate* delegate_ = nullptr;
    std::unique_ptr<FileMonitor> fileMonitor_;
    PlayerMode mode_ = PlayerMode::dance;
    bool playing_ = false;
    float volume_ = 0.5f;
    float pan_ = 0;
    float treble_ = 0;
};

} // namespace vantle
