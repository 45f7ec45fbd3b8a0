#pragma once
// The small vocabulary of the audio-unit layer: parameter values and addresses, event times with the
// "immediate" sentinel, parameter units and flags, and the render-observer actions. Plain values and
// constants; any thread.

#include <cstdint>

namespace platform {

using AUValue = float;
using AUParameterAddress = std::uint64_t;
using AUAudioFrameCount = std::uint32_t;
// A sample time on the timeline of a unit's render time stamps.
using AUEventSampleTime = std::int64_t;

// An event time of AUEventSampleTimeImmediate + n means n frames into the next render cycle; negative n
// puts the event before that cycle, so it applies at the cycle's first frame. Times within 2^31 frames of
// the sentinel count as immediate; every other time is a sample time.
inline constexpr AUEventSampleTime AUEventSampleTimeImmediate = -(std::int64_t(1) << 32);
inline constexpr std::int64_t AUEventSampleTimeImmediateWindow = std::int64_t(1) << 31;

inline constexpr bool isImmediateEventTime(AUEventSampleTime time) {
    return time >= AUEventSampleTimeImmediate - AUEventSampleTimeImmediateWindow &&
           time < AUEventSampleTimeImmediate + AUEventSampleTimeImmediateWindow;
}

// Where a parameter or property of a unit lives: the unit as a whole, or one of its input or output
// busses (the element), with the platform's codes.
enum class AudioUnitScope : std::uint32_t { global = 0, input = 1, output = 2 };
using AudioUnitElement = std::uint32_t;
using AudioUnitParameterID = std::uint32_t;
using AudioUnitPropertyID = std::uint32_t;

namespace AudioUnitProperty {
// The number of busses of the input or output scope, an unsigned 32-bit value.
inline constexpr AudioUnitPropertyID elementCount = 11;
// A matrix mixer's volumes as one block of 32-bit floats (see MatrixMixerUnit).
inline constexpr AudioUnitPropertyID matrixLevels = 3006;
} // namespace AudioUnitProperty

// The platform's status codes of refused parameter and property calls, carried as the code of the
// platform::Error such a call returns.
namespace AudioUnitErr {
inline constexpr int invalidProperty = -10879;
inline constexpr int invalidParameter = -10878;
inline constexpr int invalidElement = -10877;
inline constexpr int invalidScope = -10866;
inline constexpr int propertyNotWritable = -10865;
inline constexpr int invalidPropertyValue = -10851;
inline constexpr int initialized = -10849;
} // namespace AudioUnitErr

// The unit a parameter's value is measured in, with the platform's codes.
enum class AudioUnitParameterUnit : std::uint32_t {
    generic = 0,
    indexed = 1,
    boolean = 2,
    percent = 3,
    seconds = 4,
    sampleFrames = 5,
    phase = 6,
    rate = 7,
    hertz = 8,
    cents = 9,
    relativeSemiTones = 10,
    midiNoteNumber = 11,
    midiController = 12,
    decibels = 13,
    linearGain = 14,
    degrees = 15,
    equalPowerCrossfade = 16,
    mixerFaderCurve1 = 17,
    pan = 18,
    meters = 19,
    absoluteCents = 20,
    octaves = 21,
    BPM = 22,
    beats = 23,
    milliseconds = 24,
    ratio = 25,
    customUnit = 26,
};

// A parameter's flag set (the platform's option bits; bits not named here are kept as given).
using AudioUnitParameterOptions = std::uint32_t;

namespace AudioUnitParameterFlag {
inline constexpr AudioUnitParameterOptions canRamp = 0x02000000;
inline constexpr AudioUnitParameterOptions isReadable = 0x40000000;
inline constexpr AudioUnitParameterOptions isWritable = 0x80000000;
} // namespace AudioUnitParameterFlag

// The action flags a render observer receives.
using AudioUnitRenderActionFlags = std::uint32_t;

namespace AudioUnitRenderAction {
inline constexpr AudioUnitRenderActionFlags preRender = 4;
inline constexpr AudioUnitRenderActionFlags postRender = 8;
// Set together with postRender when the render failed.
inline constexpr AudioUnitRenderActionFlags postRenderError = 0x100;
} // namespace AudioUnitRenderAction

} // namespace platform
