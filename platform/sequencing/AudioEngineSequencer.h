#pragma once
// The sequencer of an audio engine: a music sequence whose tracks play, in the engine's render cycles,
// into the audio units they are routed to (sample-accurately, as scheduled MIDI events), or to MIDI
// endpoints through the MIDI service. Stands for the original platform's audio-engine sequencer and
// its tracks.
//
// Control calls from one thread (normally the main thread); the events are prepared there, and the
// destination units' render threads only hand them on. Track edits and moves made while playing apply
// from the current position on, once the notes sounding have been released.

#include "platform/foundation/Result.h"
#include "platform/midi/MIDITypes.h"
#include "platform/sequencing/MusicPlayer.h"
#include "platform/sequencing/MusicPlayerMIDIOutput.h"
#include "platform/sequencing/MusicSequence.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform {

class AudioEngine;
class AudioUnitNode;
class AudioEngineSequencer;

struct MusicBeatRange {
    MusicTimeStamp start = 0;
    MusicTimeStamp length = 0;
    friend bool operator==(const MusicBeatRange&, const MusicBeatRange&) = default;
};

// One track of a sequencer, seen through it. A view of a track that a later load replaced reads
// zeros and changes nothing.
class MusicTrackView {
public:
    MusicTimeStamp lengthInBeats() const;
    // Events after the new length are not played.
    void setLengthInBeats(MusicTimeStamp beats);
    bool isLoopingEnabled() const;
    void setLoopingEnabled(bool enabled);
    // A looping track plays from its start to the range's end, then the range over and over.
    MusicBeatRange loopRange() const;
    void setLoopRange(MusicBeatRange range);
    // One destination at a time: routing to a unit drops the endpoint, and the other way round. When
    // the MIDI service refuses the sequencer a client or port, the track keeps its destination.
    AudioUnitNode* destinationAudioUnit() const;
    void setDestinationAudioUnit(AudioUnitNode* node);
    MIDIEndpointRef destinationMIDIEndpoint() const;
    void setDestinationMIDIEndpoint(MIDIEndpointRef endpoint);

private:
    friend class AudioEngineSequencer;
    MusicTrackView(AudioEngineSequencer& sequencer, std::size_t index, MusicTrackHandle track)
        : sequencer_(&sequencer), index_(index), track_(std::move(track)) {}
    struct Current;
    Current current() const;

    AudioEngineSequencer* sequencer_;
    std::size_t index_;
    MusicTrackHandle track_;
};

class AudioEngineSequencer {
public:
    // On `engine`, which must outlive the sequencer, as must the units its tracks are routed to. MIDI
    // endpoints are reached through `midiService`; without one, through the process's default service,
    // opened when a track is first routed to an endpoint.
    explicit AudioEngineSequencer(AudioEngine& engine, std::shared_ptr<MIDIService> midiService = nullptr);
    virtual ~AudioEngineSequencer();
    AudioEngineSequencer(const AudioEngineSequencer&) = delete;
    AudioEngineSequencer& operator=(const AudioEngineSequencer&) = delete;

    // Replace the sequence with a standard MIDI file; playback stops. A failed load leaves no tracks.
    Result<void> load(const std::string& path);
    Result<void> load(std::span<const std::uint8_t> data);

    // The current tracks, in the file's order. Views stand for the platform's track objects, which a
    // caller may change through any reference to their sequencer.
    std::vector<MusicTrackView> tracks() const;
    std::size_t trackCount() const { return sequence_.trackCount(); }

    // Beats from the sequence's start; not wrapped by looping.
    MusicTimeStamp currentPositionInBeats() const { return player_.time(); }
    void setCurrentPositionInBeats(MusicTimeStamp beats);
    bool isPlaying() const { return player_.isPlaying(); }
    void prepareToPlay() { player_.preroll(); }
    // Fails while the engine is not running: nothing would render the events.
    Result<void> start();
    // Notes still sounding are released (all notes off on every channel of every destination).
    void stop();

    AudioEngine& engine() const { return engine_; }

private:
    friend class MusicTrackView;
    struct TrackState {
        bool looping = false;
        MusicBeatRange loopRange;
        AudioUnitNode* node = nullptr;
    };
    void afterLoad();
    void applyLoop(MusicTrack& track, const TrackState& state);
    // A running player takes a track edit in by stopping, releasing its notes (the notes it started
    // would not be ended otherwise) and starting again where it was.
    template <typename Edit> void edit(Edit&& change);
    void releaseNotes();

    AudioEngine& engine_;
    MusicPlayerMIDIOutput midiOutput_; // before the player that sends through it
    MusicSequence sequence_;
    std::vector<TrackState> states_;
    MusicPlayer player_; // after the sequence it plays
};

} // namespace platform
