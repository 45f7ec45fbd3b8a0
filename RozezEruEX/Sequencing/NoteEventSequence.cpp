#include "RozezEruEX/Sequencing/NoteEventSequence.h"

#include "RozezEru/MIDI/MIDIEvent.h"

#include <algorithm>

namespace rozezeru {

void NoteEventSequence::add(std::uint8_t noteNumber, std::uint8_t velocity, double position,
                            double duration) {
    totalDuration += duration;
    notes.push_back(
        {{0x90, noteNumber, velocity, position}, {0x80, noteNumber, velocity, position + duration}});
}

void NoteEventSequence::addEvent(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                                 double position) {
    events.push_back({status, data1, data2, position});
}

void NoteEventSequence::add(const MIDIEvent& event, double position) {
    if (event.data.size() < 3 || event.data[0] < 0x80 || event.data[0] > 0xEF) return;
    events.push_back({event.data[0], event.data[1], event.data[2], position});
}

void NoteEventSequence::removeEvent(double position) {
    std::erase_if(events, [&](const SequenceEvent& e) { return e.beat == position; });
}

void NoteEventSequence::removeNote(double position) {
    std::erase_if(notes, [&](const SequenceNote& n) { return n.noteOn.beat == position; });
}

void NoteEventSequence::removeNotes(std::uint8_t noteNumber) {
    std::erase_if(notes, [&](const SequenceNote& n) { return n.noteOn.data1 == noteNumber; });
}

std::vector<SequenceEvent> NoteEventSequence::orderedEvents() const {
    std::vector<SequenceEvent> ordered = events;
    ordered.reserve(events.size() + 2 * notes.size());
    for (const SequenceNote& note : notes) {
        ordered.push_back(note.noteOn);
        ordered.push_back(note.noteOff);
    }
    auto releasing = [](std::uint8_t s) { return (s & 0x80) && !(s & 0x10); };
    auto starting = [](std::uint8_t s) { return (s & 0x80) && (s & 0x10); };
    std::stable_sort(ordered.begin(), ordered.end(), [&](const SequenceEvent& a, const SequenceEvent& b) {
        if (a.beat != b.beat) return a.beat < b.beat;
        return releasing(a.status) && starting(b.status);
    });
    return ordered;
}

double NoteEventSequence::lastBeat() const {
    double last = 0.0;
    for (const SequenceEvent& e : events)
        last = std::max(last, e.beat);
    for (const SequenceNote& n : notes)
        last = std::max({last, n.noteOn.beat, n.noteOff.beat});
    return last;
}

} // namespace rozezeru
