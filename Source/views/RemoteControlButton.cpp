#include "Source/views/RemoteControlButton.h"

namespace vantle {

std::string_view remoteControlButtonName(RemoteControlButton button) {
    switch (button) {
    case RemoteControlButton::dpadUp:
        return "dpadUp";
    case RemoteControlButton::dpadDown:
        return "dpadDown";
    case RemoteControlButton::dpadLeft:
        return "dpadLeft";
    case RemoteControlButton::dpadRight:
        return "dpadRight";
    case RemoteControlButton::A:
        return "A";
    case RemoteControlButton::B:
        return "B";
    case RemoteControlButton::X:
        return "X";
    case RemoteControlButton::Y:
        return "Y";
    case RemoteControlButton::L:
        return "L";
    case RemoteControlButton::R:
        return "R";
    case RemoteControlButton::L2:
        return "L2";
    case RemoteControlButton::R2:
        return "R2";
    case RemoteControlButton::plus:
        return "plus";
    case RemoteControlButton::minus:
        return "minus";
    case RemoteControlButton::home:
        return "home";
    case RemoteControlButton::star:
        return "star";
    }
    return {};
}

} // namespace vantle
