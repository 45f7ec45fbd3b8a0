#pragma once
// Mapping a value from one range to another: linearly, inverted, logarithmically or
// exponentially, and normalising to 0…1 with a taper. Stateless; any thread, the render thread
// included. Values outside the source range map outside the target range.

#include <concepts>
#include <cstdint>

namespace rozezeru {

template <typename Bound> struct ClosedRange {
    Bound lowerBound;
    Bound upperBound;
};

// c + (d − c) × (x − a) / (b − a) for x in [a, b] to [c, d].
double mapLinear(double value, ClosedRange<double> from, ClosedRange<double> to);

// The linear mapping mirrored within the target range: d − linear + c.
double mapLinearInverted(double value, ClosedRange<double> from, ClosedRange<double> to);

// Linear in log10 of the value and the source bounds. A value whose logarithm is not a number
// (a negative value) gives 0; infinities pass through.
double mapLog10(double value, ClosedRange<double> from, ClosedRange<double> to);

// exp(ln c + (ln d − ln c) × (x − a) / (b − a)).
double mapExponential(double value, ClosedRange<double> from, ClosedRange<double> to);

// The linear mapping of an integer; the differences are taken in integers before dividing.
template <std::signed_integral Integer>
double mapLinear(Integer value, ClosedRange<std::int64_t> from, ClosedRange<double> to) {
    return to.lowerBound + (to.upperBound - to.lowerBound) * double(std::int64_t(value) - from.lowerBound) /
                               double(from.upperBound - from.lowerBound);
}

// ((x − a) / (b − a))^(1 / taper).
float normalizedInRange(float value, ClosedRange<float> range, float taper = 1.0f);

// x^taper × (b − a) + a.
float denormalizedToRange(float value, ClosedRange<float> range, float taper = 1.0f);

} // namespace rozezeru
