#include "SlimSlider/HapticFeedback.h"

namespace slimslider {

namespace {

class SilentHapticFeedbackPerformer final : public HapticFeedbackPerformer {
public:
    void perform(HapticFeedbackPattern) override {}
};

SilentHapticFeedbackPerformer silentHapticPerformer;
HapticFeedbackPerformer* installedHapticPerformer = &silentHapticPerformer;

} // namespace

HapticFeedbackPerformer& defaultHapticFeedbackPerformer() {
    return *installedHapticPerformer;
}

void setDefaultHapticFeedbackPerformer(HapticFeedbackPerformer* performer) {
    installedHapticPerformer = performer ? performer : &silentHapticPerformer;
}

} // namespace slimslider
