#pragma once
// Plays a standard MIDI file through the engine's sequencer: loading by resource name or from bytes,
// looping of every track over one length, length and positions as durations, and routing of every
// track to one audio unit or one MIDI endpoint. Main thread; playback runs in the engine's render
// cycles.

#include "RozezEru/Nodes/Playback/PlatformSampler/Bundle.h"
#include "RozezEru/Sequencing/Duration.h"
#include "platform/sequencing/AudioEngineSequencer.h"

#include <cstdint>
#include <span>
#include <string>

namespace rozezeru {

class MIDIPlayer : public platform::AudioEngineSequencer {
public:
    // Loads "<filename>.mid" from `bundle` when it has that resource.
    MIDIPlayer(platform::AudioEngine& audioEngine, const std::string& filename,
               const Bundle& bundle = Bundle::main());

    // Only reported by length(); playback follows the file's own tempo map.
    virtual double tempo() const { return tempo_; }
    virtual void setTempo(double tempo) { tempo_ = tempo; }
    // Whether the player's own last looping call switched looping on.
    virtual bool loopEnabled() const { return loopEnabled_; }
    virtual void setLoopEnabled(bool enabled) { loopEnabled_ = enabled; }

    // A failure is logged; the caller goes on.
    virtual void sequence(std::span<const std::uint8_t> data);
    virtual void toggleLoop();
    // Over the whole length.
    virtual void enableLooping();
    virtual void enableLooping(const Duration& loopLength);
    virtual void disableLooping();
    // The longest track; setting it shortens or lengthens every track, and its loop range, without
    // switching looping on.
    virtual Duration length() const;
    virtual void setLength(const Duration& length);
    virtual void play();
    virtual void setDestination(platform::AudioUnitNode& audioUnit);
    virtual Duration currentPosition() const;
    // The position within the length; 0 while there is no length to wrap into.
    virtual Duration currentRelativePosition() const;
    // A name the bundle has no "mid" resource for changes nothing.
    virtual void loadMIDIFile(const std::string& filename, const Bundle& bundle = Bundle::main());
    virtual void setDestination(platform::MIDIEndpointRef midiEndpoint);
    void rewind() { setCurrentPositionInBeats(0); }

    // The tracks as a collection, read afresh on every access; an index outside startIndex() to
    // endIndex() - 1 throws std::out_of_range.
    using Index = int;
    Index startIndex() const { return 0; }
    Index endIndex() const { return static_cast<Index>(trackCount()); }
    Index index(Index after) const { return after + 1; }
    platform::MusicTrackView operator[](Index index) const;

private:
    template <typename Body> void forEachTrack(Body&& body) const;

    double tempo_ = 120.0;
    bool loopEnabled_ = false;
};

} // namespace rozezeru
