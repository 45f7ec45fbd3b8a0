#pragma once
// The application's player as the main window, the time slider and the transport panel see it,
// and what a player reports back. Main thread only.

#include "Source/session/PlayerServices.h"

#include <memory>
#include <string>

namespace vantle {

class PlaylistEntry;

// A playback position that can be read and set: what the time slider and the scrubber hold.
class Player {
public:
    virtual ~Player() = default;
    // The playback position, seconds.
    virtual double currentTime() const = 0;
    // Seeks; the player clamps the time to its file.
    virtual void setCurrentTime(double seconds) = 0;
};

// What a player tells the main window (its main view controller).
class PlayerDelegate {
public:
    virtual ~PlayerDelegate() = default;
    // Redraws the time display; the player calls it after every seek.
    virtual void refreshDisplay() = 0;
    // The entry has played to its end; the player still counts as playing while this runs (when
    // it returns with nothing playing on, the player stops counting as playing).
    virtual void playerDidFinish() = 0;
    // The player's mode changed; whoever changed it calls this.
    virtual void updateForMode() = 0;
    // Playback started or stopped, or the entry ended: the screensaver's idle time starts over.
    virtual void resetScreensaverIdle() = 0;
    // Playback started: the entry a "back" press would return to is forgotten.
    virtual void clearPrevEntry() = 0;
    // The entry's file was read again and has another length than the one cached; the entry's
    // cached duration already holds the new length. A delegate that shows no length ignores it.
    virtual void entryDurationChanged(const std::shared_ptr<PlaylistEntry>& /*entry*/) {}
    // Play was asked for with no file to play (the entry's file did not open, or no longer does); the
    // player stays stopped. A delegate that shows nothing ignores it.
    virtual void nothingToPlay() {}
    // The player's key shift changed (a key command, or an entry loaded with its own key). A delegate
    // that shows no key ignores it.
    virtual void keyShiftChanged() {}
    // The current song's archive changed on disk while loaded, and what became of it, in words for the
    // user. A delegate that shows nothing ignores it.
    virtual void songArchiveChanged(const std::string& /*message*/) {}
};

// The application's player: the one over the node graph, or a test's fake. As PlayerServices it
// answers entry(), mode(), desiredTime(), currentTime() (the file player's own time, which after a
// stop is the time its last play started from) and playbackTime() (the position: the file player's
// time while audible, else desiredTime()).
class ApplicationPlayer : public PlayerServices {
public:
    // ---- entry ----

    // Stops the file player, sets playing false and loads the entry's file without playing
    // (through its stored bookmark when the file does not open); desiredTime becomes 0. Null, or
    // an entry that cannot be opened, leaves the player without an entry and not playable. A song
    // archive's audio is read on a worker first: until it is loaded, the entry is set but not playable,
    // and a play or seek asked for meanwhile is done once it is.
    virtual void setEntry(std::shared_ptr<PlaylistEntry> entry) = 0;

    // ---- position ----

    // Seeks: suspends, keeps the time clamped to 0 … duration − 0.1 as desiredTime, has the
    // delegate refresh the display and resumes, so that playback goes on from there while playing.
    // Not the inverse of PlayerServices::currentTime(): read the position with playbackTime().
    virtual void setCurrentTime(double seconds) = 0;
    // While playing: when fewer than `seconds` remain, seeks to the end.
    virtual void skipToEndIfWithin(double seconds) = 0;
    // The loaded file's length, seconds; 0 without a file.
    virtual double duration() const = 0;
    // True while the length of the current file, only an estimate, is being counted in the background.
    virtual bool countingLength() const { return false; }

    // ---- transport ----

    // From desiredTime, when playable and not already playing (the file is reopened first); sets
    // playing true once the file really plays.
    virtual void play() = 0;
    // While playing and playable: keeps the position as desiredTime, stops the file player and
    // records the played range. Leaves playing as it is.
    virtual void pause() = 0;
    // As pause, and marks the player suspended (for the length of a seek).
    virtual void suspend() = 0;
    // Pauses unless suspended, then sets playing false.
    virtual void stop() = 0;
    // Sets playing true when suspended (playback goes on when the suspension ends), else plays.
    virtual void start() = 0;
    // Ends a suspension; plays again when playing.
    virtual void resume() = 0;

    // ---- state ----

    // The current file was opened by the file player.
    virtual bool playable() const = 0;
    // A seek is under way.
    virtual bool suspended() const = 0;
    // The user's intent (the player's `isPlaying` field): true from play until stop, also while
    // suspended and after the file ended. Setting it (even to the same value) shows or removes
    // the badge and tells the delegate (resetScreensaverIdle; clearPrevEntry when true).
    virtual bool playing() const = 0;
    virtual void setPlaying(bool playing) = 0;
    // Changes only what the player records; the caller tells the delegate (updateForMode).
    virtual void setMode(PlayerMode mode) = 0;
    // Not owned; null for none.
    virtual PlayerDelegate* delegate() const = 0;
    virtual void setDelegate(PlayerDelegate* delegate) = 0;

    // ---- sound ----

    // Kept, and applied in one place of the chain that no load, reload or seek resets (the file
    // player stays at 1).
    virtual float volume() const = 0;
    virtual void setVolume(float volume) = 0;
    // Balance in [−1, 1]: kept and given to the mixer.
    virtual float pan() const = 0;
    virtual void setPan(float pan) = 0;
    // Treble in [−1, 1], kept; the treble stage's gain is set apart, by setTrebleGain.
    virtual float treble() const = 0;
    virtual void setTreble(float treble) = 0;
    // The high-shelf equaliser's gain (the filter clamps it).
    virtual void setTrebleGain(float gain) = 0;
    // The time-and-pitch rate; the pitch stays.
    virtual void setRate(float rate) = 0;
    // The key for a singer: semitones from the song's own (0), within ±maximumKeyShift. The pitch moves,
    // the speed stays. Setting it clamps it and, when it changes, tells the delegate (keyShiftChanged);
    // loading an entry sets the entry's own.
    static constexpr int maximumKeyShift = 6;
    virtual int keyShift() const = 0;
    virtual void setKeyShift(int semitones) = 0;

    // Not suspended, playable and playing.
    bool isPlaying() const final { return !suspended() && playable() && playing(); }
    // Extends or opens the played range of the entry at the file player's time (dance mode only).
    void recordPlayedRange() const { vantle::recordPlayedRange(*this); }
};

// The Player face of an application player: reads playbackTime(), writes as a seek.
class ApplicationPlayerPosition final : public Player {
public:
    explicit ApplicationPlayerPosition(ApplicationPlayer& player) : player_(player) {}
    double currentTime() const override { return player_.playbackTime(); }
    void setCurrentTime(double seconds) override { player_.setCurrentTime(seconds); }

private:
    ApplicationPlayer& player_;
};

} // namespace vantle
