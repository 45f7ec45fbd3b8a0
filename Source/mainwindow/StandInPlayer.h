#pragma once
// Stand-ins for the player and the break timer while the ones over the audio engine are not part of
// the program: the window works, entries load, positions and zero marks are kept, but nothing is
// heard and no bell rings (each says so once on the console). Main thread only.

#include "Source/playback/BreakTimer.h"
#include "Source/playback/Player.h"

#include <memory>
#include <optional>

namespace platform {
class Clock;
}

namespace vantle {

// Loads an entry when its file can be measured; "plays" without moving the position.
class SilentPlayer final : public ApplicationPlayer {
public:
    PlayerMode mode() const override { return mode_; }
    std::shared_ptr<PlaylistEntry> entry() const override { return entry_; }
    double currentTime() const override { return desiredTime_; }
    double desiredTime() const override { return desiredTime_; }

    void setEntry(std::shared_ptr<PlaylistEntry> entry) override;
    void setCurrentTime(double seconds) override;
    void skipToEndIfWithin(double seconds) override;
    double duration() const override { return duration_; }

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
    void setVolume(float volume) override { volume_ = volume; }
    float pan() const override { return pan_; }
    void setPan(float pan) override { pan_ = pan; }
    float treble() const override { return treble_; }
    void setTreble(float treble) override { treble_ = treble; }
    void setTrebleGain(float) override {}
    void setRate(float) override {}

private:
    std::shared_ptr<PlaylistEntry> entry_;
    PlayerMode mode_ = PlayerMode::dance;
    PlayerDelegate* delegate_ = nullptr;
    double desiredTime_ = 0;
    double duration_ = 0;
    bool playable_ = false;
    bool suspended_ = false;
    bool playing_ = false;
    float volume_ = 0.5f;
    float pan_ = 0;
    float treble_ = 0;
};

// Keeps the time a break was armed (so its share left can be shown); rings nothing.
class SilentBreakTimer final : public BreakTimer {
public:
    // The clock must outlive the timer.
    explicit SilentBreakTimer(const platform::Clock& clock);
    void arm(std::optional<double> seconds) override;
    void cancel() override { armedAt_.reset(); }
    void toggle() override;
    bool isArmed() const override { return armedAt_.has_value(); }
    std::optional<double> fractionRemaining() const override;

private:
    const platform::Clock& clock_;
    std::optional<double> armedAt_;
};

} // namespace vantle
