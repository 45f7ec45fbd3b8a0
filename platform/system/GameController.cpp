#include "platform/system/GameController.h"

namespace platform {

ExtendedGamepad::ExtendedGamepad() {
    for (GamepadButton which : allGamepadButtons)
        buttons_[static_cast<std::size_t>(which)] =
            std::make_unique<ControllerButtonInput>(isAnalogGamepadButton(which));
}

GameController::GameController(const GameControllerDevice& device)
    : id_(device.id), vendorName_(device.vendorName), productCategory_(device.productCategory),
      gamepad_(device.extendedGamepad ? std::make_unique<ExtendedGamepad>() : nullptr) {}

} // namespace platform
