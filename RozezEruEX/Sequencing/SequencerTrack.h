#pragma once
// One step-sequencer track: plays a NoteEventSequence into one target node through its own engine,
// which runs as a render observer on the target's audio unit and sends the events to that unit's MIDI
// input. Whatever shapes playback republishes the whole sequence; tempo and transport go to the engine
// as queued requests. Application thread only.

#include "RozezEruEX/Sequencing/NoteEventSequence.h"
#include "RozezEruEX/Sequencing/SequencerEngine.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class Node;
struct MIDIEvent;

class SequencerTrack {
public:
    explicit SequencerTrack(std::shared_ptr<Node> targetNode);
    // Takes the observer off its unit before the engine is let go, so its note-offs never race a cycle.
    ~SequencerTrack();
    SequencerTrack(const SequencerTrack&) = delete;
    SequencerTrack& operator=(const SequencerTrack&) = delete;

    const std::shared_ptr<Node>& targetNode() const { return targetNode_; }
    // The observer follows the node: off the old node's unit, onto the new one's.
    void setTargetNode(std::shared_ptr<Node> node);

    double length() const { return length_; }
    void setLength(double length);
    double tempo() const { return tempo_; }
    // Keeps the musical position; nothing is republished.
    void setTempo(double tempo);
    double maximumPlayCount() const { return maximumPlayCount_; }
    void setMaximumPlayCount(double count);
    bool loopEnabled() const { return loopEnabled_; }
    void setLoopEnabled(bool enabled);

    bool isPlaying() const;
    // Beats within the loop; negative while a delayed start counts down.
    double currentPosition() const;
    SequencerEngineRef engine() const { return engine_; }

    void play();
    void playFromStart();
    void playAfterDelay(double beats);
    // Stops and releases the notes still sounding; play() resumes from the same position.
    void stop();
    void rewind();
    void seek(double position);
    void stopPlayingNotes();

    const NoteEventSequence& sequence() const { return sequence_; }
    // A sequence reaching past the track's length lengthens the track to its last event.
    void setSequence(NoteEventSequence sequence);
    void add(std::uint8_t noteNumber, std::uint8_t velocity, double position, double duration);
    void add(const MIDIEvent& event, double position);
    void clear();

    std::optional<platform::AudioUnit::RenderObserverToken> renderObserverToken() const { return token_; }
    void updateSequence();
    void installRenderObserver();

private:
    void removeRenderObserver();

    std::shared_ptr<Node> targetNode_;
    double length_ = 4.0;
    double tempo_ = 120.0;
    double maximumPlayCount_ = 1.0;
    bool loopEnabled_ = true;
    SequencerEngineRef engine_;
    NoteEventSequence sequence_;
    bool published_ = false;
    std::optional<platform::AudioUnit::RenderObserverToken> token_;
    std::shared_ptr<platform::AudioUnitNode> observedUnit_; // the unit the observer was added to
};

} // namespace rozezeru
