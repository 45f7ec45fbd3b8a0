#pragma once
// A game-controller back end that tests drive by hand.

#include "platform/system/GameControllerBackend.h"

#include <map>
#include <optional>
#include <string>

namespace testsupport {

using platform::GameControllerBackend;
using platform::GameControllerDevice;
using platform::GameControllerId;
using platform::GamepadButton;

// Controllers come and go and buttons change when the test says so; each report reaches the sink at once,
// inside the call. Devices connected before start() are reported by start(). Main thread only.
class FakeGameControllerBackend final : public GameControllerBackend {
public:
    bool start(Sink& sink) override;
    void stop() override { sink_ = nullptr; }
    bool isStarted() const { return sink_ != nullptr; }

    // Returns the new device's id.
    GameControllerId connect(std::optional<std::string> vendorName = std::string("Fake Gamepad"),
                             std::string productCategory = "Generic", bool extendedGamepad = true);
    // False when no such device is connected.
    bool disconnect(GameControllerId id);
    std::size_t connectedCount() const { return devices_.size(); }

    // Button changes of a connected device; ignored for unknown ids.
    void press(GameControllerId id, GamepadButton button) { setValue(id, button, 1.0f); }
    void release(GameControllerId id, GamepadButton button) { setValue(id, button, 0.0f); }
    void setValue(GameControllerId id, GamepadButton button, float value);

private:
    Sink* sink_ = nullptr;
    GameControllerId nextId_ = 1;
    std::map<GameControllerId, GameControllerDevice> devices_;
};

} // namespace testsupport
