#pragma once
// What a unit placed after an AudioPlayer does to the player's notion of "now". The player's own
// clock counts the frames its player node has rendered into the graph; a unit that takes in more
// than it has put out (a time stretcher's latency and look-ahead) makes the listener hear an
// earlier frame. The unit's node implements this and its owner installs it on the player with
// AudioPlayer::setTimeCompensation(), so that currentTime matches what is heard. Main thread.

namespace rozezeru {

class PlayerTimeCompensation {
public:
    virtual ~PlayerTimeCompensation() = default;

    // The player time (seconds of the player node's own audio, as counted from its start) of the
    // frame that leaves the unit now, given `renderedPlayerTime`, the player time up to which the
    // unit has been fed. Must be cheap and must not block: it is read every time the current time
    // is asked for.
    virtual double heardPlayerTime(double renderedPlayerTime) const = 0;
};

} // namespace rozezeru
