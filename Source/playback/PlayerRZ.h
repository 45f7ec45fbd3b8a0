#pragma once
// The application's player over the node graph: the file player, a time-and-pitch stage for the speed, a
// mixer for balance and volume and a high-shelf equaliser for the treble, built once and played through
// the player's own engine. The entry, the position, the played ranges, the watch on the entry's file and
// the delegate follow the rules it shares with the plain player (EntryPlayer). Main thread only.

#include "Source/playback/EntryPlayer.h"

#include <cstdint>
#include <memory>

namespace platform {
class AudioDevice;
} // namespace platform

namespace rozezeru {
class AudioPlayer;
class HighShelfParametricEqualizerFilter;
class Mixer;
class TimePitch;
} // namespace rozezeru

namespace vantle {

class PlayerRZ final : public EntryPlayer {
public:
    // Plays through the default output device: ALSA, or the null device when no sound card opens (said
    // once on the console).
    PlayerRZ();
    // Plays through `device` (tests: the null device).
    explicit PlayerRZ(std::unique_ptr<platform::AudioDevice> device);
    ~PlayerRZ() override;

    // ---- PlayerServices ----
    // The file player's own time.
    double currentTime() const override;

    // ---- ApplicationPlayer ----
    // The volume acts on the mixer alone; the file player stays at 1, so neither a reload nor a seek
    // changes the loudness.
    void setVolume(float volume) override;
    void setPan(float pan) override;
    void setTrebleGain(float gain) override;
    void setRate(float rate) override;
    // In karaoke the stage shifts a singer's key with the finer engine's short window, half the work
    // of the full one that serves the dance classes' tempo changes.
    void setMode(PlayerMode mode) override;

    // ---- the steps the operations above are made of ----

    // As the shared load, first restarting a stopped engine's file player; the file's title, genre and
    // album are then read off the main thread and printed when they come, unless another load or
    // entry came first.
    void load(const std::shared_ptr<PlaylistEntry>& entry) override;
    // Reopens the current entry's file (every play does, so a file replaced on disk is played anew).
    // A new length replaces the entry's cached duration and is told to the delegate. When its path no
    // longer opens (the file or its folder gone), it stays playable from the file already open while
    // that still reads.
    void reload();

    // ---- the chain ----
    const std::shared_ptr<rozezeru::AudioPlayer>& rzplayer() const { return filePlayer_; }
    const std::shared_ptr<rozezeru::TimePitch>& timePitch() const { return timePitch_; }
    const std::shared_ptr<rozezeru::Mixer>& mixer() const { return mixer_; }
    const std::shared_ptr<rozezeru::HighShelfParametricEqualizerFilter>& highShelfFilter() const {
        return highShelfFilter_;
    }

private:
    // Also empties the time-pitch stage.
    void stopFilePlayer() override;
    // Reopens the file: the file on disk is what plays.
    bool readyToPlay() override;
    void fileReopened() override;
    // A semitone is 100 cents of the time-pitch stage's pitch; the stage glides to it while playing.
    void applyKeyShift(int semitones) override;
    std::shared_ptr<rozezeru::TimePitch> timePitch_;
    std::shared_ptr<rozezeru::Mixer> mixer_;
    std::shared_ptr<rozezeru::HighShelfParametricEqualizerFilter> highShelfFilter_;
    // The loads so far; a tag read that comes back to another count, or finds it gone with the player,
    // prints nothing.
    std::shared_ptr<std::uint64_t> tagReads_ = std::make_shared<std::uint64_t>(0);
};

} // namespace vantle
