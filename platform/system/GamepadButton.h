#pragma once
// The buttons of a controller's extended gamepad profile that the program reads.

#include <array>
#include <cstddef>

namespace platform {

// Stands in for the key paths of the extended gamepad's button inputs (buttonA, dpad.up, leftTrigger…).
enum class GamepadButton {
    buttonA,
    buttonB,
    buttonX,
    buttonY,
    leftShoulder,
    rightShoulder,
    dpadUp,
    dpadDown,
    dpadLeft,
    dpadRight,
    leftTrigger,
    rightTrigger,
};

inline constexpr std::size_t gamepadButtonCount = 12;

inline constexpr std::array<GamepadButton, gamepadButtonCount> allGamepadButtons = {
    GamepadButton::buttonA,   GamepadButton::buttonB,      GamepadButton::buttonX,
    GamepadButton::buttonY,   GamepadButton::leftShoulder, GamepadButton::rightShoulder,
    GamepadButton::dpadUp,    GamepadButton::dpadDown,     GamepadButton::dpadLeft,
    GamepadButton::dpadRight, GamepadButton::leftTrigger,  GamepadButton::rightTrigger,
};

// The triggers report how far they are pulled; every other button is either up or down.
constexpr bool isAnalogGamepadButton(GamepadButton button) {
    return button == GamepadButton::leftTrigger || button == GamepadButton::rightTrigger;
}

} // namespace platform
