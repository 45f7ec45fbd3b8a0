#pragma once
// Musical time in beats, carrying the tempo and sample rate that turn it into samples and
// seconds, and the time signature of a bar as the MIDI time-signature meta event stores it.
// Plain values; any thread. Shared by the platform sequencer wrapper and the step sequencer.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace rozezeru {

struct Duration {
    double beats = 0.0;
    double sampleRate = 44100.0;
    double tempo = 60.0;

    // sampleRate from Settings, read now.
    explicit Duration(double beats = 0.0, double tempo = 60.0);
    static Duration fromSamples(std::int64_t samples, double sampleRate, double tempo);
    static Duration fromSeconds(double seconds, double sampleRate, double tempo);

    // Clamped to the signed 64-bit range, with a logged warning past the top.
    std::int64_t samples() const;
    void setSamples(std::int64_t count);
    double seconds() const;
    double minutes() const;
    std::string description() const;

    Duration& operator+=(const Duration& other) {
        beats += other.beats;
        return *this;
    }
    Duration& operator-=(const Duration& other) {
        beats -= other.beats;
        return *this;
    }
    friend Duration operator+(Duration left, const Duration& right) { return left += right; }
    friend Duration operator-(Duration left, const Duration& right) { return left -= right; }
    friend Duration operator%(Duration left, const Duration& right);
    // Only the beats count.
    friend bool operator==(const Duration& a, const Duration& b) { return a.beats == b.beats; }
    friend auto operator<=>(const Duration& a, const Duration& b) { return a.beats <=> b.beats; }
};

Duration ceil(const Duration& duration);

// The raw value is the base-2 logarithm of the denominator, as in the meta event's second byte.
enum class TimeSignatureBottomValue : std::uint8_t { two = 1, four = 2, eight = 3, sixteen = 4 };

std::optional<TimeSignatureBottomValue> timeSignatureBottomValue(std::uint8_t rawValue);
constexpr std::uint8_t rawValue(TimeSignatureBottomValue value) {
    return static_cast<std::uint8_t>(value);
}

struct TimeSignature {
    std::uint8_t topValue = 4;
    TimeSignatureBottomValue bottomValue = TimeSignatureBottomValue::four;

    std::pair<int, int> numeratorAndDenominator() const { return {topValue, 1 << rawValue(bottomValue)}; }
    std::string description() const;
    friend bool operator==(const TimeSignature&, const TimeSignature&) = default;
};

} // namespace rozezeru

template <> struct std::hash<rozezeru::TimeSignatureBottomValue> {
    std::size_t operator()(rozezeru::TimeSignatureBottomValue value) const noexcept {
        return std::hash<std::uint8_t>()(rozezeru::rawValue(value));
    }
};
