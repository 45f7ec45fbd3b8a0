#include "RozezEru/MIDI/MIDIFile/MIDIFileTrackNoteMap.h"

#include "RozezEru/Internals/Log.h"

#include <algorithm>

namespace rozezeru {

namespace {

// Positions are beats already; an event the file could not place counts as beat 1.
double timeOf(const MIDIEvent& event) {
    return event.positionInBeats.value_or(1.0);
}

std::pair<int, int> noteKey(const MIDIEvent& event) {
    return {event.data[0] & 0x0F, event.data.size() > 1 ? event.data[1] : 0};
}

} // namespace

MIDIFileTrackNoteMap::MIDIFileTrackNoteMap(const MIDIFile& midiFile, int trackNumber) : midiFile_(midiFile) {
    auto tracks = midiFile.tracks();
    if (tracks.empty()) {
        Log(LogSite("init(midiFile:trackNumber:)"), "No Tracks in the MIDI File");
        return;
    }
    const int index = std::clamp(trackNumber, 0, static_cast<int>(tracks.size()) - 1);
    midiTrack_ = std::move(tracks[static_cast<std::size_t>(index)]);
    trackNumber_ = index;
    buildNoteList();
    if (!noteList.empty()) {
        const auto [lowest, highest] = std::minmax_element(
            noteList.begin(), noteList.end(),
            [](const MIDINoteDuration& a, const MIDINoteDuration& b) { return a.noteNumber < b.noteNumber; });
        loNote = lowest->noteNumber;
        hiNote = highest->noteNumber;
    }
    noteRange = hiNote - loNote + 1;
    findEndOfTrack();
}

void MIDIFileTrackNoteMap::buildNoteList() {
    for (const auto& event : midiTrack_->events()) {
        const int kind = event.data[0] >> 4;
        const bool silent = event.data.size() < 3 || event.data[2] == 0;
        if (kind == 0x9 && !silent)
            notesInProgress_[noteKey(event)] = timeOf(event);
        else if (kind == 0x9 || kind == 0x8)
            finishNote(event);
    }
}

void MIDIFileTrackNoteMap::finishNote(const MIDIEvent& event) {
    const auto key = noteKey(event);
    const auto started = notesInProgress_.find(key);
    if (started == notesInProgress_.end()) return;
    noteList.emplace_back(started->second, timeOf(event), key.second);
    notesInProgress_.erase(started);
}

void MIDIFileTrackNoteMap::findEndOfTrack() {
    for (const auto& meta : midiTrack_->metaEvents())
        if (meta.type() == MIDICustomMetaEventType::endOfTrack) {
            endOfTrack = meta.positionInBeats.value_or(0);
            return;
        }
    if (!noteList.empty()) endOfTrack = noteList.back().noteEndTime;
}

} // namespace rozezeru
