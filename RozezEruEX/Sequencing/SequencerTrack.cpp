#include "RozezEruEX/Sequencing/SequencerTrack.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/Nodes/Node.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/foundation/FloatText.h"

#include <cmath>
#include <limits>

namespace rozezeru {

namespace {

std::shared_ptr<platform::AudioUnitNode> unitNodeOf(const std::shared_ptr<Node>& node) {
    if (!node) return nullptr;
    return std::dynamic_pointer_cast<platform::AudioUnitNode>(node->avAudioNode());
}

std::int32_t saturatedPlayCount(double count) {
    if (std::isnan(count)) return 0;
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return std::int32_t(std::clamp(count, lowest, highest));
}

} // namespace

SequencerTrack::SequencerTrack(std::shared_ptr<Node> targetNode)
    : targetNode_(std::move(targetNode)), engine_(rzSequencerEngineCreate()) {}

SequencerTrack::~SequencerTrack() {
    removeRenderObserver();
    rzSequencerEngineRelease(engine_);
}

void SequencerTrack::setTargetNode(std::shared_ptr<Node> node) {
    targetNode_ = std::move(node);
    removeRenderObserver();
    installRenderObserver();
    // The published events still name the old unit's MIDI input.
    if (published_) updateSequence();
}

void SequencerTrack::setLength(double length) {
    length_ = length;
    updateSequence();
}

void SequencerTrack::setTempo(double tempo) {
    tempo_ = tempo;
    rzSequencerEngineSetTempo(engine_, tempo);
}

void SequencerTrack::setMaximumPlayCount(double count) {
    maximumPlayCount_ = count;
    updateSequence();
}

void SequencerTrack::setLoopEnabled(bool enabled) {
    loopEnabled_ = enabled;
    updateSequence();
}

bool SequencerTrack::isPlaying() const {
    return rzSequencerEngineIsPlaying(engine_);
}
double SequencerTrack::currentPosition() const {
    return rzSequencerEngineGetPosition(engine_);
}

void SequencerTrack::play() {
    rzSequencerEngineSetPlaying(engine_, true);
}

void SequencerTrack::playFromStart() {
    rzSequencerEngineSeekTo(engine_, 0.0);
    rzSequencerEngineSetPlaying(engine_, true);
}

void SequencerTrack::playAfterDelay(double beats) {
    rzSequencerEngineSeekTo(engine_, -beats);
    rzSequencerEngineSetPlaying(engine_, true);
}

void SequencerTrack::stop() {
    rzSequencerEngineSetPlaying(engine_, false);
    rzSequencerEngineStopPlayingNotes(engine_);
}

void SequencerTrack::rewind() {
    rzSequencerEngineSeekTo(engine_, 0.0);
}
void SequencerTrack::seek(double position) {
    rzSequencerEngineSeekTo(engine_, position);
}
void SequencerTrack::stopPlayingNotes() {
    rzSequencerEngineStopPlayingNotes(engine_);
}

void SequencerTrack::setSequence(NoteEventSequence sequence) {
    // The last event decides, not the sum of note durations: a pattern that fills the track exactly
    // keeps its length, and an event beyond the end is never cut off.
    const double last = sequence.lastBeat();
    if (last > length_) {
        Log(LogSite("sequence"),
            "Warning: Note event sequence duration exceeds the bounds of the sequencer track");
        length_ = last;
        Log(LogSite("sequence"), "Track length set to " + platform::floatText(length_) + " beats");
    }
    sequence_ = std::move(sequence);
    updateSequence();
}

void SequencerTrack::add(std::uint8_t noteNumber, std::uint8_t velocity, double position, double duration) {
    NoteEventSequence changed = sequence_;
    changed.add(noteNumber, velocity, position, duration);
    setSequence(std::move(changed));
}

void SequencerTrack::add(const MIDIEvent& event, double position) {
    NoteEventSequence changed = sequence_;
    changed.add(event, position);
    setSequence(std::move(changed));
}

void SequencerTrack::clear() {
    setSequence({});
}

void SequencerTrack::updateSequence() {
    auto unitNode = unitNodeOf(targetNode_);
    if (!unitNode || !unitNode->auAudioUnit().acceptsMIDIEvents()) {
        Log(LogSite("updateSequence()"), "Failed to get AUScheduleMIDIEventBlock");
        return;
    }
    // The block must not keep the unit alive: the unit holds the observer, which holds the engine.
    SequencerMIDIBlock midiBlock = [weak = std::weak_ptr(unitNode)](AUEventSampleTime when,
                                                                    std::uint8_t cable, int length,
                                                                    const std::uint8_t* bytes) {
        if (auto unit = weak.lock())
            unit->auAudioUnit().scheduleMIDIEvent(when, cable, {bytes, std::size_t(length)});
    };
    const SequenceSettings settings{saturatedPlayCount(maximumPlayCount_), length_, tempo_, loopEnabled_};
    const auto events = sequence_.orderedEvents();
    rzSequencerEngineUpdateSequence(engine_, events.data(), events.size(), settings, Settings::sampleRate(),
                                    std::move(midiBlock));
    published_ = true;
    if (const std::size_t dropped = sequencerEngineDroppedEventCount(engine_))
        Log(LogSite("updateSequence()"), "Left out", dropped, "events with data bytes of 128 or more");
    installRenderObserver();
}

void SequencerTrack::installRenderObserver() {
    if (token_) return;
    auto unitNode = unitNodeOf(targetNode_);
    if (!unitNode) return;
    token_ =
        unitNode->auAudioUnit().tokenByAddingRenderObserver(rzSequencerEngineCreateRenderObserver(engine_));
    observedUnit_ = std::move(unitNode);
}

void SequencerTrack::removeRenderObserver() {
    if (token_ && observedUnit_) observedUnit_->auAudioUnit().removeRenderObserver(*token_);
    token_.reset();
    observedUnit_.reset();
}

} // namespace rozezeru
