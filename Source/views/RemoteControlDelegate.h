#pragma once
// What the game-controller remote reports to its one receiver.

#include "Source/views/RemoteControlButton.h"

namespace vantle {

// Receives the remote's buttons and the changes of its set of controllers: adopted by the transport panel,
// which hands buttons on to the video window while that window is key. Called on the main thread.
class RemoteControlDelegate {
public:
    virtual ~RemoteControlDelegate() = default;

    // A button went down.
    virtual void pressed(RemoteControlButton button) = 0;
    // A button went up.
    virtual void released(RemoteControlButton button) = 0;
    // The set of controllers changed; count is the number of controllers now connected, those without a
    // gamepad layout included.
    virtual void connected(int count) = 0;
};

} // namespace vantle
