#pragma once
// A parameter's automation as a curve of points, and the linear ramp events it evaluates to for the
// render observer of ParameterAutomation.h. Plain values; any thread.

#include "RozezEru/Internals/RangeMapping.h"

#include <span>
#include <utility>
#include <vector>

namespace rozezeru {

// One point of a curve: ramp to `targetValue` from `startTime` over `rampDuration` (seconds from the
// start of the automation), along x^rampTaper blended with the mirrored shape by `rampSkew`.
struct ParameterAutomationPoint {
    float targetValue = 0.0f;
    float startTime = 0.0f;
    float rampDuration = 0.0f;
    // 1 is linear.
    float rampTaper = 1.0f;
    // The weight of the mirrored shape, 1 - |x - 1|^(1 / taper), against x^taper; 0 is x^taper alone.
    float rampSkew = 0.0f;

    bool isLinear() const { return rampTaper == 1.0f && rampSkew == 0.0f; }

    // All five fields equal (a NaN field makes two points unequal).
    friend bool operator==(const ParameterAutomationPoint&, const ParameterAutomationPoint&) = default;
};

// One linear ramp from whatever value the parameter has to `targetValue`.
struct AutomationEvent {
    float targetValue = 0.0f;
    float startTime = 0.0f;
    float rampDuration = 0.0f;

    friend bool operator==(const AutomationEvent&, const AutomationEvent&) = default;
};

struct AutomationCurve {
    std::vector<ParameterAutomationPoint> points;

    // The points as linear ramps, in order: a linear point as it is, any other broken into steps of
    // `resolution` seconds, each cut off where the next point starts (the next point then ramps from the
    // value reached). `initialValue` is the parameter's value before the first point. Single precision
    // throughout. A resolution that is not positive and finite yields no steps for non-linear points.
    std::vector<AutomationEvent> evaluate(float initialValue, float resolution) const;

    // The curve without the points starting inside `range` (seconds, bounds included), plus one 0.01 s
    // linear point per (time, value) pair, all in start-time order (stable: kept points before new ones
    // of the same time).
    AutomationCurve replacing(ClosedRange<float> range,
                              std::span<const std::pair<float, float>> newPoints) const;
};

} // namespace rozezeru
