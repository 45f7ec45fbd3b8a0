#pragma once
// The events a unit's internal render receives for one cycle: parameter changes, parameter ramps and
// MIDI messages, each stamped with its sample time, linked in time order. Made and owned by the unit
// on the render thread; valid only during the render call that receives them.

#include "platform/audio/AudioUnitTypes.h"

#include <cstdint>

namespace platform {

enum class AURenderEventType : std::uint8_t {
    parameter = 1,
    parameterRamp = 2,
    midi = 8,
};

// Set the parameter at `parameterAddress` to `value`, ramping over `rampDurationSampleFrames` frames
// from the event's time (0: at once).
struct AUParameterEvent {
    AUAudioFrameCount rampDurationSampleFrames = 0;
    AUParameterAddress parameterAddress = 0;
    AUValue value = 0.0f;
};

// A MIDI message of one to three bytes on a virtual cable.
struct AUMIDIEvent {
    std::uint8_t cable = 0;
    std::uint16_t length = 0;
    std::uint8_t data[3] = {0, 0, 0};
};

struct AURenderEvent {
    AURenderEvent* next = nullptr;
    // When the event applies. Events stamped before the cycle's first sample apply before its first
    // frame; the list holds no event at or after the cycle's end.
    AUEventSampleTime eventSampleTime = 0;
    AURenderEventType eventType = AURenderEventType::parameter;
    union {
        AUParameterEvent parameter; // parameter and parameterRamp
        AUMIDIEvent midi;           // midi
    };

    AURenderEvent() : parameter() {}
};

} // namespace platform
