#pragma once
// The game-controller remote: the connected controllers' buttons and their coming and going, reported to
// one delegate.

#include "Source/views/RemoteControlButton.h"
#include "Source/views/RemoteControlDelegate.h"
#include "platform/system/GameControllerCenter.h"
#include "platform/system/GamepadButton.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vantle {

// Pairs every connected controller that offers the extended gamepad profile, reports presses and releases of
// twelve of its buttons and every change of the set of controllers to its delegate. It keeps working across
// any number of unplugs and replugs: a controller plugged in again is paired afresh. The transport panel owns
// one for its lifetime. Main thread only.
class GameControllerSet {
public:
    // Which gamepad input reports which remote button.
    using ButtonMap = std::vector<std::pair<platform::GamepadButton, RemoteControlButton>>;

    // Scans at once, so the delegate may hear connected(count) before this returns, then follows the
    // centre's connections. The delegate (not owned; null for none) and the centre must outlive the set.
    GameControllerSet(RemoteControlDelegate* delegate, platform::GameControllerCenter& center);
    ~GameControllerSet();
    GameControllerSet(const GameControllerSet&) = delete;
    GameControllerSet& operator=(const GameControllerSet&) = delete;

    // Pairs the controllers not seen before and reports connected(count) when the set changed.
    void scanControllers();

    const ButtonMap& buttonMap() const { return buttonMap_; }
    // The controllers already seen: after every scan, all that the centre lists.
    const std::vector<std::shared_ptr<platform::GameController>>& controllersPaired() const {
        return controllersPaired_;
    }
    RemoteControlDelegate* delegate() const { return delegate_; }

    // Called after each change of the set, following connected(count); empty for none.
    void setWillChangeHandler(std::function<void()> handler) { willChange_ = std::move(handler); }

private:
    void installButtonHandlers(platform::ExtendedGamepad& gamepad);
    void handleButton(RemoteControlButton button, bool pressed);

    ButtonMap buttonMap_;
    std::vector<std::shared_ptr<platform::GameController>> controllersPaired_;
    RemoteControlDelegate* delegate_;
    platform::GameControllerCenter& center_;
    std::function<void()> willChange_;
    platform::GameControllerCenter::Observation controllerAdded_;
    platform::GameControllerCenter::Observation controllerRemoved_;
};

} // namespace vantle
