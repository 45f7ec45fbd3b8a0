#include "platform/system/ControllerButtonInput.h"

#include <algorithm>

namespace platform {

void ControllerButtonInput::update(float value) {
    value_ = std::clamp(value, 0.0f, 1.0f);
    const bool pressed =
        pressed_ ? value_ >= (analog_ ? releaseThreshold : pressThreshold) : value_ >= pressThreshold;
    if (pressed == pressed_) return;
    pressed_ = pressed;
    // A copy, so that the handler may replace itself.
    if (PressedChangedHandler handler = handler_) handler(*this, value_, pressed_);
}

} // namespace platform
