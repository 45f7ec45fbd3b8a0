#pragma once
// Alerts shown as sheets on a window and answered through a completion.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

// The platform alert's styles; like the platform, warning is the default.
enum class AlertStyle { warning, informational, critical };

// The contents of an alert.
struct AlertOptions {
    std::string messageText;
    std::string informativeText;
    // Button titles, left to right as the platform lists them; the first is the default button (see
    // defaultButton) and a button titled "Cancel" answers the Escape key. Empty: one "OK" button.
    std::vector<std::string> buttons;
    AlertStyle style = AlertStyle::warning;
    // The button that Return and Space answer instead of the first, for an alert whose first answer
    // must not be given by a key meant for something else.
    std::size_t defaultButton = 0;
};

// The index in AlertOptions::buttons of the button that closed the alert (0 for the first).
using AlertCompletion = std::function<void(int button)>;

// Shows alerts. beginAlert returns at once; the completion runs later on the main thread, exactly once
// when the alert closes (never when the window is destroyed with the alert still open).
// Main thread only.
class Alerts {
public:
    virtual ~Alerts() = default;

    // Modal to `window` only, or to the whole application without a window.
    virtual void beginAlert(QWidget* window, AlertOptions options, AlertCompletion completion) = 0;
};

// Alerts made of Qt message boxes. Main thread only.
class QtAlerts final : public Alerts {
public:
    void beginAlert(QWidget* window, AlertOptions options, AlertCompletion completion) override;
};

} // namespace platform
