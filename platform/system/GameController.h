#pragma once
// A connected game controller and its extended gamepad profile.

#include "platform/system/ControllerButtonInput.h"
#include "platform/system/GameControllerBackend.h"
#include "platform/system/GamepadButton.h"

#include <array>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Stands in for the extended gamepad profile of a controller: its button inputs by name. Main thread only.
class ExtendedGamepad {
public:
    ExtendedGamepad();
    ControllerButtonInput& button(GamepadButton which) { return *buttons_[static_cast<std::size_t>(which)]; }
    const ControllerButtonInput& button(GamepadButton which) const {
        return *buttons_[static_cast<std::size_t>(which)];
    }

private:
    std::array<std::unique_ptr<ControllerButtonInput>, gamepadButtonCount> buttons_;
};

// Stands in for a game controller object. The object is the controller's identity: one unplugged and plugged
// in again is a new object. Made by GameControllerCenter; main thread only.
class GameController {
public:
    explicit GameController(const GameControllerDevice& device);
    GameController(const GameController&) = delete;
    GameController& operator=(const GameController&) = delete;

    GameControllerId id() const { return id_; }
    const std::optional<std::string>& vendorName() const { return vendorName_; }
    const std::string& productCategory() const { return productCategory_; }
    // Null when the controller offers no extended gamepad profile.
    ExtendedGamepad* extendedGamepad() { return gamepad_.get(); }
    const ExtendedGamepad* extendedGamepad() const { return gamepad_.get(); }

private:
    GameControllerId id_;
    std::optional<std::string> vendorName_;
    std::string productCategory_;
    std::unique_ptr<ExtendedGamepad> gamepad_;
};

} // namespace platform
