#pragma once
// What the clocks read of the break timer each time they paint. Main thread.
// Plain C++ without Qt, so the break timer can implement it from any layer.

#include "platform/foundation/Date.h"

#include <optional>

namespace vantle {

// The break timer implements it; a clock holds it by a non-owning pointer.
class RestTimerState {
public:
    virtual ~RestTimerState() = default;

    // When the running break was armed; nothing while no break is armed. It stays set after the
    // break's time has run out, until the break is cancelled or armed again.
    virtual std::optional<platform::Date> timeArmed() const = 0;
    // The length in seconds the running break was armed with: the length given when arming, or the
    // default length as it was at that moment.
    virtual double armedLength() const = 0;
};

} // namespace vantle
