#pragma once
// A plain player for an entry: the file player alone, straight to the output, without speed, treble or
// balance. It keeps the position, suspension, played-range and delegate rules of PlayerRZ, so that the
// main view could drive either one; the application itself plays through PlayerRZ. Main thread only.

#include "Source/playback/EntryPlayer.h"

#include <memory>

namespace platform {
class AudioDevice;
class AudioFile;
} // namespace platform

namespace rozezeru {
class AudioEngine;
class AudioPlayer;
} // namespace rozezeru

namespace vantle {

class PlayerAV final : public EntryPlayer {
public:
    explicit PlayerAV(std::unique_ptr<platform::AudioDevice> device);
    ~PlayerAV() override;
    PlayerAV(const PlayerAV&) = delete;
    PlayerAV& operator=(const PlayerAV&) = delete;

    rozezeru::AudioEngine& engine() override { return *engine_; }

    double currentTime() const override;

    void setEntry(std::shared_ptr<PlaylistEntry> entry) override;
    void setCurrentTime(double seconds) override;
    double duration() const override;
    void play() override;
    void pause() override;
    // The file player's own volume; no load resets it.
    void setVolume(float volume) override;
    // Kept only: this player has no balance, treble or speed.
    void setPan(float pan) override { pan_ = pan; }
    void setTrebleGain(float) override {}
    void setRate(float) override {}

    // The file player's end of the file, on the main queue.
    void playbackDidComplete();

private:
    bool filePlayerIsPlaying() const override;
    void replaceFile(std::unique_ptr<platform::AudioFile> file) override;

    std::unique_ptr<rozezeru::AudioEngine> engine_;
    std::shared_ptr<rozezeru::AudioPlayer> avplayer_;
};

} // namespace vantle
