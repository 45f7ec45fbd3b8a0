#pragma once
// The hook through which sliders give haptic feedback. Main thread.

namespace slimslider {

enum class HapticFeedbackPattern { alignment };

// Performs a feedback pattern at once. Linux offers no haptic trackpad interface, so the default performer
// does nothing; a platform that has one installs its own.
class HapticFeedbackPerformer {
public:
    virtual ~HapticFeedbackPerformer() = default;
    virtual void perform(HapticFeedbackPattern pattern) = 0;
};

// The performer sliders use.
HapticFeedbackPerformer& defaultHapticFeedbackPerformer();
// Installs a performer (not owned; it must outlive its use); nullptr restores the silent default.
void setDefaultHapticFeedbackPerformer(HapticFeedbackPerformer* performer);

} // namespace slimslider
