#pragma once
// What a source of game-controller events (SDL, or a fake in tests) reports to the controller centre.

#include "platform/system/GamepadButton.h"

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// A device id is unique for the life of the back end: a device plugged in again gets a new one.
using GameControllerId = std::uint64_t;

// A controller as the back end sees it when it connects.
struct GameControllerDevice {
    GameControllerId id = 0;
    std::optional<std::string> vendorName; // the device's name, when it reports one
    std::string productCategory;           // "Xbox One", "DualShock 4", "Switch Pro Controller", "Generic"…
    bool extendedGamepad = false;          // offers the extended gamepad profile (a known button layout)
};

// Reports controllers coming and going and their button values to a sink. Reports reach the sink on the main
// thread only; start() and stop() are main-thread calls too.
class GameControllerBackend {
public:
    class Sink {
    public:
        virtual ~Sink() = default;
        virtual void deviceAdded(const GameControllerDevice& device) = 0;
        virtual void deviceRemoved(GameControllerId id) = 0;
        // value: 0 released … 1 fully down (digital buttons report exactly 0 or 1).
        virtual void buttonChanged(GameControllerId id, GamepadButton button, float value) = 0;
    };

    virtual ~GameControllerBackend() = default;

    // Begins reporting; the devices present at that moment are reported before start() returns, as far as
    // the back end can find them in time. Returns false when the back end cannot run (the reason is logged).
    virtual bool start(Sink& sink) = 0;
    // Ends reporting; the sink hears nothing more once this returns. Idempotent.
    virtual void stop() = 0;
};

} // namespace platform
