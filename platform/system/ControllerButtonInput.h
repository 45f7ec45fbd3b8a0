#pragma once
// One button input of a game controller, with the handler told when it goes down or up.

#include <functional>
#include <utility>

namespace platform {

class GameControllerCenter;

// Stands in for a controller's button input: its value (0 released … 1 fully down), whether it counts as
// pressed, and one pressed-changed handler. Main thread only.
class ControllerButtonInput {
public:
    // Called with the input, its value and its new pressed state, only when the pressed state changes.
    using PressedChangedHandler =
        std::function<void(ControllerButtonInput& input, float value, bool pressed)>;

    // An analog input (a trigger) goes down at pressThreshold and up again only below releaseThreshold,
    // so a trigger held near one point does not chatter.
    static constexpr float pressThreshold = 0.5f;
    static constexpr float releaseThreshold = 0.25f;

    explicit ControllerButtonInput(bool analog = false) : analog_(analog) {}
    ControllerButtonInput(const ControllerButtonInput&) = delete;
    ControllerButtonInput& operator=(const ControllerButtonInput&) = delete;

    bool isAnalog() const { return analog_; }
    float value() const { return value_; }
    bool isPressed() const { return pressed_; }

    // Replaces the handler; an empty function removes it.
    void setPressedChangedHandler(PressedChangedHandler handler) { handler_ = std::move(handler); }
    bool hasPressedChangedHandler() const { return static_cast<bool>(handler_); }

private:
    friend class GameControllerCenter;
    // A new reading from the device, clamped to 0 … 1.
    void update(float value);

    bool analog_;
    float value_ = 0.0f;
    bool pressed_ = false;
    PressedChangedHandler handler_;
};

} // namespace platform
