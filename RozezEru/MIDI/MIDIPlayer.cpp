#include "RozezEru/MIDI/MIDIPlayer.h"

#include "RozezEru/Internals/Log.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

MIDIPlayer::MIDIPlayer(platform::AudioEngine& audioEngine, const std::string& filename, const Bundle& bundle)
    : AudioEngineSequencer(audioEngine) {
    loadMIDIFile(filename, bundle);
}

platform::MusicTrackView MIDIPlayer::operator[](Index index) const {
    if (index < startIndex() || index >= endIndex()) throw std::out_of_range("MIDIPlayer track index");
    return tracks().at(static_cast<std::size_t>(index));
}

template <typename Body> void MIDIPlayer::forEachTrack(Body&& body) const {
    // One read of the track list, not one per track.
    for (platform::MusicTrackView& track : tracks())
        body(track);
}

void MIDIPlayer::loadMIDIFile(const std::string& filename, const Bundle& bundle) {
    const auto path = bundle.pathForResource(filename, "mid");
    if (!path) return;
    if (!load(*path)) Log(LogSite("loadMIDIFile(_:)"), "failed to load MIDI into sequencer");
}

void MIDIPlayer::sequence(std::span<const std::uint8_t> data) {
    if (const auto loaded = load(data); !loaded)
        Log(LogSite("sequence(from:)"), "cannot load from data " + loaded.error().message);
}

void MIDIPlayer::play() {
    if (!start()) Log(LogSite("play()"), "Could not start the sequencer");
}

void MIDIPlayer::enableLooping(const Duration& loopLength) {
    forEachTrack([&](platform::MusicTrackView& track) {
        track.setLoopingEnabled(true);
        track.setLoopRange({0, loopLength.beats});
    });
    loopEnabled_ = true;
}

void MIDIPlayer::enableLooping() {
    enableLooping(length());
}

void MIDIPlayer::disableLooping() {
    forEachTrack([](platform::MusicTrackView& track) { track.setLoopingEnabled(false); });
    loopEnabled_ = false;
}

void MIDIPlayer::toggleLoop() {
    if (loopEnabled_)
        disableLooping();
    else
        enableLooping();
}

Duration MIDIPlayer::length() const {
    double beats = 0;
    forEachTrack([&](platform::MusicTrackView& track) { beats = std::max(beats, track.lengthInBeats()); });
    return Duration(beats, tempo_);
}

void MIDIPlayer::setLength(const Duration& length) {
    forEachTrack([&](platform::MusicTrackView& track) {
        track.setLengthInBeats(length.beats);
        track.setLoopRange({0, length.beats});
    });
}

Duration MIDIPlayer::currentPosition() const {
    return Duration(currentPositionInBeats(), 60.0);
}

Duration MIDIPlayer::currentRelativePosition() const {
    const double loop = length().beats;
    // Without a length there is nothing to wrap into; the remainder would not be a number.
    return Duration(loop > 0 ? std::fmod(currentPositionInBeats(), loop) : 0.0, 60.0);
}

void MIDIPlayer::setDestination(platform::AudioUnitNode& audioUnit) {
    forEachTrack([&](platform::MusicTrackView& track) { track.setDestinationAudioUnit(&audioUnit); });
}

void MIDIPlayer::setDestination(platform::MIDIEndpointRef midiEndpoint) {
    forEachTrack([&](platform::MusicTrackView& track) { track.setDestinationMIDIEndpoint(midiEndpoint); });
}

} // namespace rozezeru
