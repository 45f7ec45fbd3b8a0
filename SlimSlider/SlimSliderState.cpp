#include "SlimSlider/SlimSliderState.h"

namespace slimslider {

const SlimSliderState& SlimSliderState::zero() {
    static const SlimSliderState state(false, false, 0.0, 0.0, {}, true);
    return state;
}

const SlimSliderState& SlimSliderState::inactive() {
    static const SlimSliderState state(false, false, 0.0, 0.0, {}, false);
    return state;
}

} // namespace slimslider
