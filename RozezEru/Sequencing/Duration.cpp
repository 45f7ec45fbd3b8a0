#include "RozezEru/Sequencing/Duration.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/foundation/FloatText.h"

#include <cmath>
#include <limits>

namespace rozezeru {

namespace {
constexpr double secondsPerMinute = 60.0;
}

Duration::Duration(double beats_, double tempo_)
    : beats(beats_), sampleRate(Settings::sampleRate()), tempo(tempo_) {}

Duration Duration::fromSamples(std::int64_t samples, double sampleRate, double tempo) {
    Duration d;
    d.beats = static_cast<double>(samples) / sampleRate * tempo / secondsPerMinute;
    d.sampleRate = sampleRate;
    d.tempo = tempo;
    return d;
}

Duration Duration::fromSeconds(double seconds, double sampleRate, double tempo) {
    Duration d;
    d.beats = seconds / secondsPerMinute * tempo;
    d.sampleRate = sampleRate;
    d.tempo = tempo;
    return d;
}

std::int64_t Duration::samples() const {
    const double x = beats / tempo * secondsPerMinute * sampleRate;
    // Converting a value outside the range is undefined, so both ends are clamped first.
    if (x < 9223372036854775808.0 && x >= -9223372036854775808.0) return static_cast<std::int64_t>(x);
    if (x < 0) return std::numeric_limits<std::int64_t>::min();
    Log(LogSite("samples"), "Warning: Samples exceeds the maximum number.");
    return std::numeric_limits<std::int64_t>::max();
}

void Duration::setSamples(std::int64_t count) {
    beats = static_cast<double>(count) / sampleRate / secondsPerMinute * tempo;
}

double Duration::seconds() const {
    return static_cast<double>(samples()) / sampleRate;
}

double Duration::minutes() const {
    return static_cast<double>(samples()) / sampleRate / secondsPerMinute;
}

std::string Duration::description() const {
    const auto count = samples();
    return std::to_string(count) + " samples at " + platform::floatText(sampleRate) + " = " +
           platform::floatText(beats) + " Beats at " + platform::floatText(tempo) +
           " BPM = " + platform::floatText(static_cast<double>(count) / sampleRate) + "s";
}

Duration operator%(Duration left, const Duration& right) {
    left.beats = std::fmod(left.beats, right.beats);
    return left;
}

Duration ceil(const Duration& duration) {
    Duration d = duration;
    d.beats = std::ceil(d.beats);
    return d;
}

std::optional<TimeSignatureBottomValue> timeSignatureBottomValue(std::uint8_t raw) {
    if (raw < 1 || raw > 4) return std::nullopt;
    return static_cast<TimeSignatureBottomValue>(raw);
}

std::string TimeSignature::description() const {
    const auto [top, bottom] = numeratorAndDenominator();
    return std::to_string(top) + "/" + std::to_string(bottom);
}

} // namespace rozezeru
