#pragma once
// A music sequence: tracks of time-stamped events in beats, a tempo track whose tempo events make
// the map between beats and seconds, and Standard MIDI File import and export. Stands for the
// original platform's music sequence and track services.
//
// Tracks belong to their sequence; callers hold weak handles, so a disposed track is noticed
// instead of touched. One mutex per sequence guards its tracks: any thread may edit or read, and
// the music player reads from its own thread. Never called from the audio render thread.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace platform {

using MusicTimeStamp = double;

// The event kinds and their platform numbers.
enum class MusicEventType : std::uint32_t {
    null = 0,
    extendedTempo = 3,
    meta = 5,
    midiNoteMessage = 6,
    midiChannelMessage = 7,
    midiRawData = 8,
};

struct ExtendedTempoEvent {
    double bpm = 120.0;
    friend bool operator==(const ExtendedTempoEvent&, const ExtendedTempoEvent&) = default;
};
struct MIDIMetaEvent {
    std::uint8_t metaEventType = 0;
    std::vector<std::uint8_t> data;
    friend bool operator==(const MIDIMetaEvent&, const MIDIMetaEvent&) = default;
};
struct MIDINoteMessage {
    std::uint8_t channel = 0, note = 0, velocity = 0, releaseVelocity = 0;
    float duration = 0; // beats
    friend bool operator==(const MIDINoteMessage&, const MIDINoteMessage&) = default;
};
struct MIDIChannelMessage {
    std::uint8_t status = 0, data1 = 0, data2 = 0, reserved = 0;
    friend bool operator==(const MIDIChannelMessage&, const MIDIChannelMessage&) = default;
};
struct MIDIRawData {
    std::vector<std::uint8_t> data;
    friend bool operator==(const MIDIRawData&, const MIDIRawData&) = default;
};

using MusicEventData =
    std::variant<ExtendedTempoEvent, MIDIMetaEvent, MIDINoteMessage, MIDIChannelMessage, MIDIRawData>;

MusicEventType eventType(const MusicEventData& data);
// The byte size of the record as the platform lays it out (a meta event: 8 + data bytes).
std::uint32_t eventDataSize(const MusicEventData& data);

// An event owns its record.
struct MusicEvent {
    MusicTimeStamp time = 0;
    MusicEventData data;
    MusicEventType type() const { return eventType(data); }
    friend bool operator==(const MusicEvent&, const MusicEvent&) = default;
};

// A looping track plays from where it starts to its loop's end, then the last `loopDuration` beats
// before that end over and over: `numberOfLoops` passes in all (0: for ever). The loop ends where
// the track does, unless `loopEnd` says otherwise.
struct MusicTrackLoopInfo {
    MusicTimeStamp loopDuration = 0;
    std::int32_t numberOfLoops = 0;
    std::optional<MusicTimeStamp> loopEnd;
    friend bool operator==(const MusicTrackLoopInfo&, const MusicTrackLoopInfo&) = default;
};

// Statuses of the sequence calls, in the platform's numbering.
inline constexpr std::int32_t noErr = 0;
inline constexpr std::int32_t kAudioToolboxErr_InvalidSequenceType = -10846;
inline constexpr std::int32_t kAudioToolboxErr_TrackNotFound = -10858;
inline constexpr std::int32_t kAudioToolboxErr_IllegalTrackDestination = -10855;
inline constexpr std::int32_t kAudioToolboxErr_InvalidPlayerState = -10852;
inline constexpr std::int32_t kAudio_ParamError = -50;

class AudioUnit;
class MusicSequence;
class MusicEventIterator;
class MusicTrack;
using MusicTrackHandle = std::weak_ptr<MusicTrack>;

// One track of events in time order, equal times in insertion order. Reached through
// MusicTrackHandle; all calls take the owning sequence's lock.
class MusicTrack {
public:
    std::size_t eventCount() const;
    std::vector<MusicEvent> events() const;
    void addEvent(MusicTimeStamp time, MusicEventData data);
    // Events in [start, end) go.
    void clear(MusicTimeStamp start, MusicTimeStamp end);

    // Beats; grows to cover the end of every added event, and may be set to anything.
    MusicTimeStamp length() const;
    void setLength(MusicTimeStamp beats);
    MusicTrackLoopInfo loopInfo() const;
    void setLoopInfo(MusicTrackLoopInfo info);
    // The audio unit the player sends the track's MIDI to (none: not played); the unit must outlive
    // the playback.
    AudioUnit* destinationNode() const;
    void setDestinationNode(AudioUnit* unit);
    // A MIDI endpoint kept for the track (0: none).
    std::uint32_t destinationMIDIEndpoint() const;
    void setDestinationMIDIEndpoint(std::uint32_t endpoint);

    // The two track operations across tracks, maybe of different sequences.
    static std::int32_t copyEvents(const MusicTrackHandle& source, MusicTimeStamp start, MusicTimeStamp end,
                                   const MusicTrackHandle& destination, MusicTimeStamp at, bool insert);

private:
    friend class MusicSequence;
    friend class MusicEventIterator;
    explicit MusicTrack(std::shared_ptr<std::mutex> mutex) : mutex_(std::move(mutex)) {}
    void insertLocked(MusicTimeStamp time, MusicEventData data);

    // The sequence's lock; shared so that a track kept alive by an iterator outlives it safely.
    std::shared_ptr<std::mutex> mutex_;
    std::vector<MusicEvent> events_;
    MusicTimeStamp length_ = 0;
    MusicTrackLoopInfo loopInfo_;
    AudioUnit* destinationNode_ = nullptr;
    std::uint32_t destinationEndpoint_ = 0;
};

// Copies source events in [start, end) to `at`; copyInsert first moves the destination's events
// at or after `at` later by end − start, merge leaves them. The tracks may belong to different
// sequences.
std::int32_t musicTrackCopyInsert(const MusicTrackHandle& source, MusicTimeStamp start, MusicTimeStamp end,
                                  const MusicTrackHandle& destination, MusicTimeStamp at);
std::int32_t musicTrackMerge(const MusicTrackHandle& source, MusicTimeStamp start, MusicTimeStamp end,
                             const MusicTrackHandle& destination, MusicTimeStamp at);

// A walk over one track's events in time order; it holds the track alive but not its lock, and
// stays valid across edits of its own (delete, set). Any thread, one at a time.
class MusicEventIterator {
public:
    // Nothing when the track is gone.
    static std::optional<MusicEventIterator> make(const MusicTrackHandle& track);

    bool hasCurrentEvent() const;
    bool hasPreviousEvent() const;
    bool hasNextEvent() const;
    // A copy of the current event; nothing past the end.
    std::optional<MusicEvent> eventInfo() const;
    void nextEvent();
    void previousEvent();
    // Onto the first event at or after the time.
    void seek(MusicTimeStamp time);
    // Leaves the iterator on the event that followed.
    void deleteEvent();
    void setEventInfo(MusicEventData data);

private:
    explicit MusicEventIterator(std::shared_ptr<MusicTrack> track) : track_(std::move(track)) {}
    std::shared_ptr<MusicTrack> track_;
    std::size_t index_ = 0;
};

class MusicSequence {
public:
    MusicSequence();
    ~MusicSequence();
    MusicSequence(const MusicSequence&) = delete;
    MusicSequence& operator=(const MusicSequence&) = delete;

    MusicTrackHandle newTrack();
    // Handles of the track fail from now on.
    std::int32_t disposeTrack(const MusicTrackHandle& track);
    std::uint32_t trackCount() const;
    MusicTrackHandle indTrack(std::uint32_t index) const;
    MusicTrackHandle tempoTrack() const { return tempoTrack_; }
    // Index of a track of this sequence; nothing for others.
    std::optional<std::uint32_t> trackIndex(const MusicTrackHandle& track) const;

    // On the tempo map (120 BPM before the first tempo event).
    double secondsForBeats(MusicTimeStamp beats) const;
    MusicTimeStamp beatsForSeconds(double seconds) const;
    // The tempo events in force, sorted, with a 120 BPM entry at 0 when none is at or before 0.
    std::vector<std::pair<MusicTimeStamp, double>> tempoMap() const;

    // Replace the content with a Standard MIDI File; a malformed file leaves the sequence empty and
    // answers kAudioToolboxErr_InvalidSequenceType.
    std::int32_t loadFileData(std::span<const std::uint8_t> bytes);
    // A format 1 file: the tempo track first, then every track.
    std::vector<std::uint8_t> createFileData(std::uint16_t ticksPerQuarter = 480) const;
    // Ticks per beat of the file loaded last; 480 for a new sequence or after a failed load.
    std::uint16_t timeResolution() const;

    std::mutex& mutex() const { return *mutex_; }

private:
    void clearLocked();
    std::shared_ptr<std::mutex> mutex_;
    std::shared_ptr<MusicTrack> tempoTrack_;
    std::vector<std::shared_ptr<MusicTrack>> tracks_;
    std::uint16_t timeResolution_ = 480;
};

} // namespace platform
