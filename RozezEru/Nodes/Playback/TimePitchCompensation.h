#pragma once
// The time compensation of an AudioPlayer that feeds a TimePitch node: the player's clock less the
// audio the time-pitch unit has taken in but not yet played, so that the player's currentTime (and
// what is recorded from it) is the position being heard, at any rate. Install it with
// player->setTimeCompensation(std::make_shared<TimePitchCompensation>(timePitch)). It holds the node
// weakly (the node holds its input, the player, which holds this): once the node is gone nothing is
// taken off. Any thread that may read the player's time (in practice the main thread).
//
// The unit keeps what it holds across a stop or seek of the player, so for up to its latency the old
// position is heard while the clock already counts the new one from its start; the owner avoids that
// by resetting the node (Node::reset()) whenever it stops or seeks the player.

#include "RozezEru/Nodes/Playback/PlayerTimeCompensation.h"

#include <memory>

namespace rozezeru {

class TimePitch;

class TimePitchCompensation final : public PlayerTimeCompensation {
public:
    explicit TimePitchCompensation(std::weak_ptr<const TimePitch> timePitch);

    // max(0, renderedPlayerTime - latencySeconds()).
    double heardPlayerTime(double renderedPlayerTime) const override;

    // Seconds of input audio the unit had taken in but not played at the start of its last render
    // cycle; 0 without a node or before the unit's first cycle (after allocation or a reset).
    double latencySeconds() const;

private:
    std::weak_ptr<const TimePitch> timePitch_;
};

} // namespace rozezeru
