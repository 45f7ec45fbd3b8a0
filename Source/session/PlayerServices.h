#pragma once
// What the session model relies on of the player: its mode, its entry and its position.
// Main thread.

#include <memory>

namespace vantle {

class PlaylistEntry;

// The player's mode; listening is recorded in an entry only in `dance`.
enum class PlayerMode { dance, prepare, karaoke, karaokePrepare };

// The application's player as the session model sees it. The player implements it; tests use a
// fake.
class PlayerServices {
public:
    virtual ~PlayerServices() = default;

    virtual PlayerMode mode() const = 0;
    // The entry loaded in the player; null without one.
    virtual std::shared_ptr<PlaylistEntry> entry() const = 0;
    // Not suspended, playable and playing.
    virtual bool isPlaying() const = 0;
    // The file player's current time, seconds.
    virtual double currentTime() const = 0;
    // Where playback starts next, seconds.
    virtual double desiredTime() const = 0;

    // The position to save: the current time while playing, else the desired time.
    double playbackTime() const { return isPlaying() ? currentTime() : desiredTime(); }
};

// Records the player's current time in its entry's listening: extends the span that playback is
// extending, or opens one at that time. Does nothing unless the player is in `dance` mode with an
// entry. The player calls it on the main window's periodic refresh and before it pauses.
void recordPlayedRange(const PlayerServices& player);

} // namespace vantle
