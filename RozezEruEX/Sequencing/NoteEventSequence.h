#pragma once
// The editable content of one step-sequencer track: notes (a note-on and its note-off) and free MIDI
// events at positions in beats, turned into one beat-ordered list for the engine. A plain value; any
// thread.

#include "RozezEruEX/Sequencing/SequencerEngine.h"

#include <cstdint>
#include <vector>

namespace rozezeru {

struct MIDIEvent;

struct SequenceNote {
    SequenceEvent noteOn;
    SequenceEvent noteOff;

    friend bool operator==(const SequenceNote&, const SequenceNote&) = default;
};

struct NoteEventSequence {
    std::vector<SequenceNote> notes;   // in the order they were added
    std::vector<SequenceEvent> events; // free events, in the order they were added
    // Sum of the durations of the notes added through add(noteNumber:...); not the end of the last note.
    double totalDuration = 0.0;

    // A note on channel 1; numbers and velocities are stored as given.
    void add(std::uint8_t noteNumber, std::uint8_t velocity, double position, double duration);
    // A free event, stored as given (add(status:data1:data2:position:); named apart from the note overload).
    void addEvent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2, double position);
    // Only channel messages of at least three bytes; anything else leaves the sequence as it is.
    void add(const MIDIEvent& event, double position);
    void removeEvent(double position);
    void removeNote(double position);
    void removeNotes(std::uint8_t noteNumber);

    // Free events, then each note's on and off, stably sorted by beat; at one beat a 0x8n/0xAn/0xCn/0xEn
    // message goes before a 0x9n/0xBn/0xDn/0xFn one, so a note-off precedes a note-on.
    std::vector<SequenceEvent> orderedEvents() const;
    // The latest beat any event sits at, 0 for an empty sequence.
    double lastBeat() const;

    friend bool operator==(const NoteEventSequence&, const NoteEventSequence&) = default;
};

} // namespace rozezeru
