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

    // The player time of the frame that leaves the unit now, given `renderedPlayerTime`: seconds of
    // the player node's clock (counted from 0 when the node last started from a stop, in frames of
    // the player node's own rate) at the start of the player node's last render cycle. Typically
    // `renderedPlayerTime` less the player audio the unit holds, converted to seconds of player
    // audio. Must be cheap and must not block: it is read every time the current time is asked for.
    virtual double heardPlayerTime(double renderedPlayerTime) const = 0;
};

} // namespace rozezeru
