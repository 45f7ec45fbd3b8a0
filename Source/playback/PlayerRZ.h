#pragma once
// The application's player over the node graph: the file player, a time-and-pitch stage for the speed, a
// mixer for balance and volume and a high-shelf equaliser for the treble, built once and played through
// the player's own engine. It holds the current entry, keeps the position while nothing plays, records the
// played ranges in `dance` mode, watches the entry's file and reports to its delegate. Main thread only.

#include "Source/playback/EntryPlayer.h"

#include <cstdint>
#include <memory>

namespace platform {
class AudioDevice;
class AudioFile;
} // namespace platform

namespace rozezeru {
class AudioEngine;
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
    PlayerRZ(const PlayerRZ&) = delete;
    PlayerRZ& operator=(const PlayerRZ&) = delete;

    // ---- HasAudioEngine ----
    rozezeru::AudioEngine& engine() override { return *engine_; }

    // ---- PlayerServices ----
    // The file player's own time.
    double currentTime() const override;

    // ---- ApplicationPlayer ----
    void setEntry(std::shared_ptr<PlaylistEntry> entry) override;
    void setCurrentTime(double seconds) override;
    double duration() const override;
    void play() override;
    void pause() override;
    // The volume acts on the mixer alone; the file player stays at 1, so neither a reload nor a seek
    // changes the loudness.
    void setVolume(float volume) override;
    void setPan(float pan) override;
    void setTrebleGain(float gain) override;
    void setRate(float rate) override;

    // ---- the steps the operations above are made of ----

    // Opens the entry's file in the file player, watches it, renews its bookmark and prints its title,
    // genre and album; playable() tells whether it opened.
    void load(const std::shared_ptr<PlaylistEntry>& entry);
    // Reopens the current entry's file (every play does, so a file replaced on disk is played anew).
    // A new length replaces the entry's cached duration and is told to the delegate.
    void reload();
    // The file player's end of the file, on the main queue.
    void playbackDidComplete();

    // ---- the chain ----
    const std::shared_ptr<rozezeru::AudioPlayer>& rzplayer() const { return rzplayer_; }
    const std::shared_ptr<rozezeru::TimePitch>& timePitch() const { return timePitch_; }
    const std::shared_ptr<rozezeru::Mixer>& mixer() const { return mixer_; }
    const std::shared_ptr<rozezeru::HighShelfParametricEqualizerFilter>& highShelfFilter() const {
        return highShelfFilter_;
    }

private:
    bool filePlayerIsPlaying() const override;
    void replaceFile(std::unique_ptr<platform::AudioFile> file) override;
    // Stops a playing or paused file player and empties the time-pitch stage.
    void stopFilePlayer();
    // After the entry's file was opened again: a cached duration that the file no longer has is
    // replaced, and the delegate told. One not measured yet stays so: nothing shows it.
    void takeFileDuration(const std::shared_ptr<PlaylistEntry>& entry);

    std::unique_ptr<rozezeru::AudioEngine> engine_;
    std::shared_ptr<rozezeru::AudioPlayer> rzplayer_;
    std::shared_ptr<rozezeru::TimePitch> timePitch_;
    std::shared_ptr<rozezeru::Mixer> mixer_;
    std::shared_ptr<rozezeru::HighShelfParametricEqualizerFilter> highShelfFilter_;
};

} // namespace vantle
