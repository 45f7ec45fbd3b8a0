#include "RozezEru/Internals/RangeMapping.h"

#include <cmath>

namespace rozezeru {

double mapLinear(double value, ClosedRange<double> from, ClosedRange<double> to) {
    return to.lowerBound +
           (to.upperBound - to.lowerBound) * (value - from.lowerBound) / (from.upperBound - from.lowerBound);
}

double mapLinearInverted(double value, ClosedRange<double> from, ClosedRange<double> to) {
    return to.upperBound - mapLinear(value, from, to) + to.lowerBound;
}

double mapLog10(double value, ClosedRange<double> from, ClosedRange<double> to) {
    const double logLower = std::log10(from.lowerBound);
    const double result = to.lowerBound + (to.upperBound - to.lowerBound) * (std::log10(value) - logLower) /
                                              (std::log10(from.upperBound) - logLower);
    return std::isnan(result) ? 0.0 : result;
}

double mapExponential(double value, ClosedRange<double> from, ClosedRange<double> to) {
    const double logLower = std::log(to.lowerBound);
    return std::exp(logLower + (std::log(to.upperBound) - logLower) * (value - from.lowerBound) /
                                   (from.upperBound - from.lowerBound));
}

float normalizedInRange(float value, ClosedRange<float> range, float taper) {
    return std::pow((value - range.lowerBound) / (range.upperBound - range.lowerBound), 1.0f / taper);
}

float denormalizedToRange(float value, ClosedRange<float> range, float taper) {
    return std::pow(value, taper) * (range.upperBound - range.lowerBound) + range.lowerBound;
}

} // namespace rozezeru
