#pragma once
// Calls an action whenever a watched value changes, the way the views react to new sizes, files,
// configurations and flags. Main thread.

#include <functional>
#include <utility>

namespace wavesketch {

template <typename Value> class OnChange {
public:
    using Action = std::function<void(const Value&)>;

    // The first value is only remembered: a view shown with a value has nothing to react to yet.
    OnChange(Value value, Action action) : value_(std::move(value)), action_(std::move(action)) {}

    // Calls the action with the new value only when it differs from the one watched so far.
    void set(const Value& value) {
        if (value == value_) return;
        value_ = value;
        if (action_) action_(value_);
    }

    const Value& value() const { return value_; }

private:
    Value value_;
    Action action_;
};

} // namespace wavesketch
