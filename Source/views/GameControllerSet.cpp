#include "Source/views/GameControllerSet.h"

#include "platform/foundation/Console.h"

#include <algorithm>
#include <string>

namespace vantle {

using platform::GamepadButton;

GameControllerSet::GameControllerSet(RemoteControlDelegate* delegate, platform::GameControllerCenter& center)
    : buttonMap_{{GamepadButton::buttonA, RemoteControlButton::A},
                 {GamepadButton::buttonB, RemoteControlButton::B},
                 {GamepadButton::buttonX, RemoteControlButton::X},
                 {GamepadButton::buttonY, RemoteControlButton::Y},
                 {GamepadButton::leftShoulder, RemoteControlButton::L},
                 {GamepadButton::rightShoulder, RemoteControlButton::R},
                 {GamepadButton::dpadUp, RemoteControlButton::dpadUp},
                 {GamepadButton::dpadDown, RemoteControlButton::dpadDown},
                 {GamepadButton::dpadLeft, RemoteControlButton::dpadLeft},
                 {GamepadButton::dpadRight, RemoteControlButton::dpadRight},
                 {GamepadButton::leftTrigger, RemoteControlButton::L2},
                 {GamepadButton::rightTrigger, RemoteControlButton::R2}},
      delegate_(delegate), center_(center) {
    scanControllers();
    controllerAdded_ = center_.observeDidConnect([this](const auto&) { scanControllers(); });
    controllerRemoved_ = center_.observeDidDisconnect([this](const auto&) { scanControllers(); });
}

GameControllerSet::~GameControllerSet() {
    // Every controller still connected is in controllersPaired_; the handlers point at this set.
    for (const auto& controller : controllersPaired_)
        if (platform::ExtendedGamepad* gamepad = controller->extendedGamepad())
            for (const auto& [input, button] : buttonMap_)
                gamepad->button(input).setPressedChangedHandler({});
}

void GameControllerSet::scanControllers() {
    const std::vector<std::shared_ptr<platform::GameController>> current = center_.controllers();
    const auto paired = [&](const std::shared_ptr<platform::GameController>& controller) {
        return std::find(controllersPaired_.begin(), controllersPaired_.end(), controller) !=
               controllersPaired_.end();
    };
    bool changed = false;
    for (const auto& controller : current) {
        if (paired(controller) || !controller->extendedGamepad()) continue;
        controllersPaired_.push_back(controller);
        const std::string who = controller->vendorName().value_or(
            controller->productCategory() == "Switch Pro Controller" ? "switch" : "default");
        platform::consolePrint(who + " added");
        installButtonHandlers(*controller->extendedGamepad());
        platform::consolePrint(controller->productCategory() + " category");
        changed = true;
    }
    for (const auto& controller : controllersPaired_)
        if (current.empty() || std::find(current.begin(), current.end(), controller) == current.end())
            changed = true;
    // Controllers without the gamepad profile join the list too, so later scans pass over them.
    controllersPaired_ = current;
    if (!changed) return;
    if (delegate_) delegate_->connected(static_cast<int>(controllersPaired_.size()));
    if (willChange_) willChange_();
}

void GameControllerSet::installButtonHandlers(platform::ExtendedGamepad& gamepad) {
    for (const auto& [input, button] : buttonMap_)
        gamepad.button(input).setPressedChangedHandler(
            [this, button = button](platform::ControllerButtonInput&, float, bool pressed) {
                handleButton(button, pressed);
            });
}

void GameControllerSet::handleButton(RemoteControlButton button, bool pressed) {
    if (!delegate_) return;
    if (pressed)
        delegate_->pressed(button);
    else
        delegate_->released(button);
}

} // namespace vantle
