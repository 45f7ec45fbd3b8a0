#include "RozezEruEX/AutomationCurve.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace rozezeru {

namespace {

constexpr float replacementRampDuration = 0.01f;

} // namespace

std::vector<AutomationEvent> AutomationCurve::evaluate(float initialValue, float resolution) const {
    std::vector<AutomationEvent> events;
    float previous = initialValue;
    const bool resolutionUsable = std::isfinite(resolution) && resolution > 0.0f;

    for (std::size_t index = 0; index < points.size(); ++index) {
        const ParameterAutomationPoint& point = points[index];
        if (point.isLinear()) {
            events.push_back({point.targetValue, point.startTime, point.rampDuration});
            previous = point.targetValue;
            continue;
        }
        if (!resolutionUsable) continue;

        const float end = point.startTime + point.rampDuration;
        const float nextStart =
            index + 1 < points.size() ? points[index + 1].startTime : std::numeric_limits<float>::max();
        const float limit = std::min(end, nextStart);
        // Counted from time 0, not from the point's start: only an upper bound on the steps.
        const float steps = std::round(limit / resolution);
        if (!(steps >= 1.0f)) continue;

        const float delta = point.targetValue - previous;
        const float taper = std::fabs(point.rampTaper);
        float t = point.startTime;
        float value = previous;
        for (std::uint64_t step = 0; double(step) < double(steps); ++step) {
            const float t0 = t;
            t += resolution;
            // Beyond float precision t stops moving: no later step could differ.
            if (t == t0) break;
            const float x = (point.rampDuration - (end - t)) / point.rampDuration;
            const float a = std::pow(x, taper);
            const float b = std::pow(std::fabs(x - 1.0f), 1.0f / taper);
            value = ((1.0f - b) * delta + previous) * point.rampSkew +
                    (a * delta + previous) * (1.0f - point.rampSkew);
            events.push_back({value, t0, resolution});
            if (t >= limit) break;
        }
        previous = value;
    }
    return events;
}

AutomationCurve AutomationCurve::replacing(ClosedRange<float> range,
                                           std::span<const std::pair<float, float>> newPoints) const {
    AutomationCurve result;
    for (const ParameterAutomationPoint& point : points)
        if (!(point.startTime >= range.lowerBound && point.startTime <= range.upperBound))
            result.points.push_back(point);
    for (const auto& [time, value] : newPoints)
        result.points.push_back({value, time, replacementRampDuration, 1.0f, 0.0f});
    std::stable_sort(result.points.begin(), result.points.end(),
                     [](const ParameterAutomationPoint& a, const ParameterAutomationPoint& b) {
                         return a.startTime < b.startTime;
                     });
    return result;
}

} // namespace rozezeru
