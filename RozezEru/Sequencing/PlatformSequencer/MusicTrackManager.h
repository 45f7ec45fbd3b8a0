#pragma once
// Edits one track of a platform music sequence: notes, controllers, pitch bend, SysEx, clearing,
// length, looping and routing, with a copy of the starting content that can be restored. The
// handles are weak: once the owning sequence disposes the track, every edit logs and does nothing.
// Caller's thread, one at a time.

#include "RozezEru/MIDI/MIDIFile/MIDINoteData.h"
#include "RozezEru/Sequencing/Duration.h"
#include "platform/sequencing/MusicSequence.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class AudioUnit;
}

namespace rozezeru {

class PlatformSequencer;

// One event as the track lists it; the record is a copy, so it stays valid whatever happens to
// the track later.
struct PlatformMIDIEvent {
    double time = 0;
    platform::MusicEventType type = platform::MusicEventType::null;
    std::optional<platform::MusicEventData> data;
    std::uint32_t dataSize = 0;
};

struct MIDIProgramChangeEvent {
    double time = 0;
    std::uint8_t channel = 0;
    std::uint8_t number = 0;
    friend bool operator==(const MIDIProgramChangeEvent&, const MIDIProgramChangeEvent&) = default;
};

// Told of each event of a walk: the iterator, time, type and record; answers whether it deleted it.
using MusicTrackEventHandler = std::function<bool(platform::MusicEventIterator&, double,
                                                  platform::MusicEventType, const platform::MusicEventData&)>;
void iterateMusicTrack(const platform::MusicTrackHandle& track, const MusicTrackEventHandler& handler);

class MusicTrackManager {
public:
    // A new working and initial track in a sequencer of the manager's own, named `name`.
    explicit MusicTrackManager(std::string name = "Unnamed");
    // Wraps an existing track; only a track without events gets the name written into it.
    MusicTrackManager(platform::MusicTrackHandle musicTrack, std::string name);
    MusicTrackManager(platform::MusicTrackHandle musicTrack, std::shared_ptr<PlatformSequencer> sequencer);

    platform::MusicTrackHandle internalMusicTrack;
    platform::MusicTrackHandle initMusicTrack;
    std::string name = "Unnamed";
    std::shared_ptr<PlatformSequencer> sequencer;

    bool isEmpty() const;
    bool isNotEmpty() const { return !isEmpty(); }
    Duration length() const;
    Duration initLength() const;

    void initSequence();
    void setNode(platform::AudioUnit* node);
    void setLoopInfo(const Duration& duration, std::int64_t loopCount);
    void setLength(const Duration& duration);
    void setLengthProperty(const Duration& duration);
    void clear();
    void clearMetaEvents();
    void clearSysExEvents();
    void clearHelper(platform::MusicEventType type, const std::string& caller);
    void clearNote(std::uint8_t note);
    void clearRange(const Duration& start, const Duration& duration);
    void add(std::uint8_t noteNumber, std::uint8_t velocity, const Duration& position,
             const Duration& duration, std::uint8_t channel = 0);
    void add(const MIDINoteData& midiNoteData);
    void replaceNotes(const std::vector<MIDINoteData>& notes);
    void addController(std::uint8_t controller, std::uint8_t value, const Duration& position,
                       std::uint8_t channel = 0);
    void addAftertouch(std::uint8_t noteNumber, std::uint8_t pressure, const Duration& position,
                       std::uint8_t channel = 0);
    void addChannelAftertouch(std::uint8_t pressure, const Duration& position, std::uint8_t channel = 0);
    void addSysEx(const std::vector<std::uint8_t>& data, const Duration& position);
    // Values outside 0…16383 are clamped.
    void addPitchBend(int value, const Duration& position, std::uint8_t channel = 0);
    void addPitchBendCenter(const Duration& position, std::uint8_t channel = 0);
    std::vector<MIDINoteData> getMIDINoteData() const;
    void copyAndMergeTo(MusicTrackManager& musicTrack) const;
    std::shared_ptr<MusicTrackManager> duplicate() const;
    void restoreInitialState();
    void setMIDIOutput(std::uint32_t endpoint);

    // Event access.
    std::optional<std::vector<PlatformMIDIEvent>>
    getRawEventData(std::optional<platform::MusicEventType> type) const;
    std::optional<std::vector<PlatformMIDIEvent>> allRawEventData() const {
        return getRawEventData(std::nullopt);
    }
    std::optional<std::vector<PlatformMIDIEvent>> rawNoteEventData() const {
        return getRawEventData(platform::MusicEventType::midiNoteMessage);
    }
    std::vector<MIDIProgramChangeEvent> programChangeEvents() const;
    void debug() const;

private:
    std::shared_ptr<platform::MusicTrack> working(const char* function) const;
    void addChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2,
                           const Duration& position, const char* function);
};

} // namespace rozezeru
