#pragma once
// A piano-roll view of one track of a MIDI file: its notes paired from start to end with positions in
// beats, the lowest and highest note and the rows between them. Built completely on construction, on the
// caller's thread.

#include "RozezEru/MIDI/MIDIFile/MIDIFile.h"

#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace rozezeru {

struct MIDINoteDuration {
    double noteStartTime = 0;
    double noteEndTime = 0;
    double noteDuration = 0;
    int noteNumber = 0;
    int noteNumberMap = 0;
    int noteRange = 0;

    MIDINoteDuration(double noteOnPosition, double noteOffPosition, int number)
        : noteStartTime(noteOnPosition), noteEndTime(noteOffPosition),
          noteDuration(noteOffPosition - noteOnPosition), noteNumber(number) {}
};

class MIDIFileTrackNoteMap {
public:
    // A track index out of range is clamped to the first or last track.
    MIDIFileTrackNoteMap(const MIDIFile& midiFile, int trackNumber);

    const std::optional<MIDIFileTrack>& midiTrack() const { return midiTrack_; }
    const std::optional<MIDIFile>& midiFile() const { return midiFile_; }
    std::optional<int> trackNumber() const { return trackNumber_; }

    int loNote = 0;
    int hiNote = 0;
    int noteRange = 0;
    // The end-of-track mark's position; without one, the end of the last note.
    double endOfTrack = 0;
    // Finished notes in the order of their ends.
    std::vector<MIDINoteDuration> noteList;

private:
    void buildNoteList();
    void finishNote(const MIDIEvent& event);
    void findEndOfTrack();

    std::optional<MIDIFileTrack> midiTrack_;
    std::optional<MIDIFile> midiFile_;
    std::optional<int> trackNumber_;
    // Started notes by channel and note number: the same note on two channels is two notes.
    std::map<std::pair<int, int>, double> notesInProgress_;
};

} // namespace rozezeru
