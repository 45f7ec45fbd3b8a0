#pragma once
// The hooks through which an audio unit implements the parameters of its tree: a value observer (a
// parameter was set), a value provider (a parameter is read) and a string-from-value callback.
// Installed on the configuring thread before the tree is shared; called on whatever thread sets or
// reads a parameter, the render thread included.

#include "platform/audio/AudioUnitTypes.h"

#include <functional>
#include <string>

namespace platform {

class AUParameter;

struct AUParameterHooks {
    using ValueObserver = std::function<void(const AUParameter& parameter, AUValue value)>;
    using ValueProvider = std::function<AUValue(const AUParameter& parameter)>;
    using StringFromValueCallback =
        std::function<std::string(const AUParameter& parameter, const AUValue* value)>;

    ValueObserver valueObserver;
    ValueProvider valueProvider;
    StringFromValueCallback stringFromValue;
};

} // namespace platform
