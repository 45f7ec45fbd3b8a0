#include "RozezEruEX/Sequencing/Sequencer.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDIFile/MIDIFile.h"

#include <algorithm>
#include <string>

namespace rozezeru {

Sequencer::Sequencer(std::optional<std::vector<std::shared_ptr<Node>>> targetNodes) {
    if (!targetNodes) {
        Log(LogSite("init(targetNodes:)"),
            "no nodes connected to sequencer at init - be sure to connect some via addTrack");
        return;
    }
    for (auto& node : *targetNodes)
        addTrack(std::move(node));
}

Sequencer::Sequencer(std::shared_ptr<Node> targetNode)
    : Sequencer(std::vector<std::shared_ptr<Node>>{std::move(targetNode)}) {}

Sequencer::Sequencer(std::string_view path, std::optional<std::vector<std::shared_ptr<Node>>> targetNodes)
    : Sequencer(std::move(targetNodes)) {
    load(path);
}

double Sequencer::tempo() const {
    return tracks_.empty() ? 0.0 : tracks_.front()->tempo();
}
void Sequencer::setTempo(double tempo) {
    for (auto& track : tracks_)
        track->setTempo(tempo);
}

double Sequencer::length() const {
    if (tracks_.empty()) return 0.0;
    double shortest = tracks_.front()->length();
    for (const auto& track : tracks_)
        shortest = std::min(shortest, track->length());
    return shortest;
}
void Sequencer::setLength(double length) {
    for (auto& track : tracks_)
        track->setLength(length);
}

bool Sequencer::loopEnabled() const {
    return !tracks_.empty() && tracks_.front()->loopEnabled();
}
void Sequencer::setLoopEnabled(bool enabled) {
    for (auto& track : tracks_)
        track->setLoopEnabled(enabled);
}

bool Sequencer::isPlaying() const {
    return !tracks_.empty() && tracks_.front()->isPlaying();
}

void Sequencer::play() {
    for (auto& track : tracks_)
        track->play();
}
void Sequencer::playFromStart() {
    for (auto& track : tracks_)
        track->playFromStart();
}
void Sequencer::playAfterDelay(double beats) {
    for (auto& track : tracks_)
        track->playAfterDelay(beats);
}
void Sequencer::stop() {
    for (auto& track : tracks_)
        track->stop();
}
void Sequencer::rewind() {
    for (auto& track : tracks_)
        track->rewind();
}
void Sequencer::seek(double position) {
    for (auto& track : tracks_)
        track->seek(position);
}
void Sequencer::clear() {
    for (auto& track : tracks_)
        track->clear();
}

void Sequencer::load(std::string_view path) {
    load(MIDIFile(path));
}

void Sequencer::load(const MIDIFile& midiFile) {
    const std::vector<MIDIFileTrack> fileTracks = midiFile.tracks();
    const std::size_t fileCount = fileTracks.size(), trackCount = tracks_.size();
    if (trackCount < fileCount)
        Log(LogSite("load(midiFile:)"), "Error: Track count and file track count do not match ",
            "dropped " + std::to_string(fileCount - trackCount) + " tracks");
    for (std::size_t i = 0; i < std::min(trackCount, fileCount); ++i) {
        SequencerTrack& track = *tracks_[i];
        track.setSequence({});
        NoteEventSequence loaded;
        for (const MIDIEvent& event : fileTracks[i].events())
            if (event.positionInBeats) loaded.add(event, *event.positionInBeats);
        // Each track keeps its own length, so a longer file track is never cut short; a track without
        // one ends at its last event rather than making an empty loop.
        const double fileLength = fileTracks[i].length();
        const double length = fileLength > 0.0 ? fileLength : loaded.lastBeat();
        track.setSequence(std::move(loaded));
        if (length > 0.0) track.setLength(length);
    }
}

bool Sequencer::checkIndex(int trackIndex, const char* function) const {
    if (trackIndex >= 0 && std::size_t(trackIndex) < tracks_.size()) return true;
    Log(LogSite(function), "Track index " + std::to_string(trackIndex) + " out of range (sequencer has " +
                               std::to_string(tracks_.size()) + " tracks)");
    return false;
}

void Sequencer::add(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t, double position,
                    double duration, int trackIndex) {
    if (!checkIndex(trackIndex, "add(noteNumber:velocity:channel:position:duration:trackIndex:)")) return;
    tracks_[std::size_t(trackIndex)]->add(noteNumber, velocity, position, duration);
}

void Sequencer::add(const MIDIEvent& event, double position, int trackIndex) {
    if (!checkIndex(trackIndex, "add(event:position:trackIndex:)")) return;
    tracks_[std::size_t(trackIndex)]->add(event, position);
}

SequencerTrack* Sequencer::track(const Node& node) const {
    for (const auto& track : tracks_)
        if (track->targetNode().get() == &node) return track.get();
    return nullptr;
}

SequencerTrack& Sequencer::addTrack(std::shared_ptr<Node> node) {
    tracks_.push_back(std::make_unique<SequencerTrack>(std::move(node)));
    return *tracks_.back();
}

} // namespace rozezeru
