#pragma once
// The buttons of the game-controller remote.

#include <string_view>

namespace vantle {

// The remote's sixteen buttons. plus, minus, home and star have names but no controller input, so they are
// never reported.
enum class RemoteControlButton {
    dpadUp,
    dpadDown,
    dpadLeft,
    dpadRight,
    A,
    B,
    X,
    Y,
    L,
    R,
    L2,
    R2,
    plus,
    minus,
    home,
    star
};

std::string_view remoteControlButtonName(RemoteControlButton button);

} // namespace vantle
