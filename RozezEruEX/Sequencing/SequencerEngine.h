#pragma once
// The real-time half of the step sequencer: one engine per sequencer track, reached only through the
// flat functions below over an opaque handle. The engine runs as a pre-render observer of the target
// audio unit and schedules each three-byte event of the published sequence at its frame in the cycle.
//
// Threads. Every function but the observer is for one application thread. The observer runs on the
// target unit's render thread: it takes no lock and allocates nothing. Sequences reach it as immutable
// versions swapped in by pointer, transport requests through a 1024-entry single-producer ring; old
// versions are reclaimed on the application thread at the next publication.

#include "platform/audio/AudioUnit.h"
#include "platform/audio/AudioUnitTypes.h"

#include <cstddef>
#include <cstdint>
#include <functional>

namespace rozezeru {

using platform::AUEventSampleTime;

// One three-byte MIDI message at a position in beats from the start of the sequence.
struct SequenceEvent {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    double beat = 0.0;

    friend bool operator==(const SequenceEvent&, const SequenceEvent&) = default;
};

struct SequenceSettings {
    std::int32_t maximumPlayCount = 1; // carried along; no rule of the engine reads it
    double length = 4.0;               // beats; the loop length when looping
    double tempo = 120.0;              // beats per minute
    bool loopEnabled = true;
};

// Where the engine sends its events: (AUEventSampleTimeImmediate + frame offset, cable, length, bytes).
// Called on the render thread, and on the application thread when the engine goes away with notes
// still sounding.
using SequencerMIDIBlock =
    std::function<void(AUEventSampleTime when, std::uint8_t cable, int length, const std::uint8_t* bytes)>;

struct SequencerEngineHandle;
using SequencerEngineRef = SequencerEngineHandle*;

// Entries of the command ring; one stays free, so 1023 requests can wait.
inline constexpr std::size_t sequencerEngineCommandCapacity = 1024;

SequencerEngineRef rzSequencerEngineCreate();
// Gives the handle back. Playback stops; the notes still sounding get their note-offs when the engine
// goes away, which is at once unless a render observer made from it is still held by a unit (then they
// are sent by that observer's next cycle, or when the unit lets the observer go).
void rzSequencerEngineRelease(SequencerEngineRef engine);
// A pre-render observer that runs the engine; it holds a share of the engine, as each copy of it does.
platform::AudioUnit::RenderObserver rzSequencerEngineCreateRenderObserver(SequencerEngineRef engine);
// Publishes a copy of `events` (beat ordered by the caller) with the settings, sample rate and output.
// Events with a data byte of 128 or more are not MIDI and are left out (see
// sequencerEngineDroppedEventCount). A sequence without an output plays silently.
void rzSequencerEngineUpdateSequence(SequencerEngineRef engine, const SequenceEvent* events,
                                     std::size_t count, SequenceSettings settings, double sampleRate,
                                     SequencerMIDIBlock midiBlock);
// Position within the loop in beats, negative while a delayed start counts down.
double rzSequencerEngineGetPosition(SequencerEngineRef engine);
void rzSequencerEngineSeekTo(SequencerEngineRef engine, double position);
void rzSequencerEngineSetPlaying(SequencerEngineRef engine, bool playing);
bool rzSequencerEngineIsPlaying(SequencerEngineRef engine);
void rzSequencerEngineStopPlayingNotes(SequencerEngineRef engine);
void rzSequencerEngineSetTempo(SequencerEngineRef engine, double tempo);

// How many events the last publication left out for data bytes of 128 or more.
std::size_t sequencerEngineDroppedEventCount(SequencerEngineRef engine);

} // namespace rozezeru
