#pragma once
// The standard MIDI file reader: the file's chunks, the header's format, track count and time division,
// the tempo track of a format-1 file, and each track's name, meta events and events positioned in beats.
// Plain values that parse again from their bytes on every query; any thread.
//
// Bad bytes never stop the program: an unknown chunk is skipped, a chunk running past the end of the file
// ends the walk, and a track that cannot be parsed further keeps the events before the fault. Each such
// fault is logged.

#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDIMessages.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rozezeru {

enum class MIDIFileChunkType { track, header };
std::string_view rawValue(MIDIFileChunkType type); // "MTrk", "MThd"

// One chunk: its tag, a 32-bit big-endian body length and the body.
struct MIDIFileChunk {
    std::vector<std::uint8_t> rawData;

    std::span<const std::uint8_t> typeData() const { return std::span(rawData).first(4); }
    std::span<const std::uint8_t> lengthData() const { return std::span(rawData).subspan(4, 4); }
    std::span<const std::uint8_t> data() const { return std::span(rawData).subspan(8); }
    std::uint32_t length() const;
    std::optional<MIDIFileChunkType> type() const;
    bool isHeader() const { return type() == MIDIFileChunkType::header; }
    bool isTrack() const { return type() == MIDIFileChunkType::track; }
    bool isValid() const { return rawData.size() >= 8 && data().size() == length(); }

    // The chunk at the start of `bytes` whatever its tag; nothing when its declared length runs past the
    // end of `bytes`.
    static std::optional<MIDIFileChunk> fromData(std::span<const std::uint8_t> bytes);
};

struct MIDIFileHeaderChunk : MIDIFileChunk {
    std::uint16_t format() const { return number(0); }
    std::uint16_t trackCount() const { return number(2); }
    std::uint16_t timeDivision() const { return number(4); }

    // Nothing for another tag, and for a body under the 6 bytes the three numbers take.
    static std::optional<MIDIFileHeaderChunk> fromData(std::span<const std::uint8_t> bytes);

private:
    std::uint16_t number(std::size_t offset) const;
};

// One event of a track as the file holds it: the delta-time bytes, then the event's own bytes (without a
// running-status byte).
struct MIDIFileChunkEvent {
    std::vector<std::uint8_t> data;
    MIDITimeFormat timeFormat = MIDITimeFormat::ticksPerBeat;
    int timeDivision = 480;
    // The status in effect when the event used running status.
    std::optional<MIDIStatus> runningStatus;
    // The ticks of all earlier events of the track.
    std::uint64_t timeOffset = 0;

    std::uint32_t deltaTime() const;
    std::span<const std::uint8_t> eventData() const;
    // The index in `data` of the byte that names the event: the meta type after 0xFF, else a status byte.
    std::optional<std::size_t> typeIndex() const;
    // The running-status byte, when there is one, then the event's bytes.
    std::vector<std::uint8_t> messageBytes() const;
    // (delta time + offset) / division; nothing for time-code division or a division of 0.
    std::optional<double> positionInBeats() const;
};

struct MIDIFileTrackChunk : MIDIFileChunk {
    MIDITimeFormat timeFormat = MIDITimeFormat::ticksPerBeat;
    // Ticks per beat (or per frame); the file's header gives it.
    int timeDivision = 480;

    static std::optional<MIDIFileTrackChunk> fromData(std::span<const std::uint8_t> bytes);
    // The body parsed. A fault ends the parse with the events before it, logged; `error` says what it was.
    std::vector<MIDIFileChunkEvent> chunkEvents(std::string* error = nullptr) const;
};

struct MIDIFileTrack {
    MIDIFileTrackChunk chunk;

    // Channel messages only.
    std::vector<MIDIEvent> events() const;
    // Every event but meta events.
    std::vector<MIDIEvent> allEvents() const;
    std::vector<MIDICustomMetaEvent> metaEvents() const;
    // The position of the last meta event (normally the end of the track); 0 without one.
    double length() const;
    std::optional<std::string> name() const;
};

struct MIDIFileTempoTrack {
    MIDIFileTrack track;
    // The track's first set-tempo meta event, from its 0xFF on.
    std::vector<std::uint8_t> tempoData;

    // Nothing when the chunk holds no set-tempo event.
    static std::optional<MIDIFileTempoTrack> fromTrackChunk(const MIDIFileTrackChunk& chunk);
    // From the last 3 bytes of the tempo; 120 without them and for a tempo of 0.
    float bpm() const;
};

struct MIDIFile {
    std::string filename;
    std::vector<MIDIFileChunk> chunks;

    // Reads the whole file; an unreadable one has no chunks (logged).
    explicit MIDIFile(std::string_view path);
    // The chunks of bytes held in memory.
    MIDIFile(std::span<const std::uint8_t> bytes, std::string filename);

    std::optional<MIDIFileHeaderChunk> headerChunk() const;
    // The chunks after the leading headers, each with the header's time division; empty when another
    // header follows.
    std::vector<MIDIFileTrackChunk> trackChunks() const;
    // Without the tempo track of a format-1 file.
    std::vector<MIDIFileTrack> tracks() const;
    std::optional<MIDIFileTempoTrack> tempoTrack() const;
    int format() const;
    int trackCount() const;
    int timeDivision() const;
    std::optional<MIDITimeFormat> timeFormat() const;
    std::optional<int> ticksPerBeat() const;
    std::optional<int> framesPerSecond() const;
    std::optional<int> ticksPerFrame() const;

private:
    void readChunks(std::span<const std::uint8_t> bytes);
};

// The MIDI event of a file event: nothing for a meta event or no bytes; positioned in beats.
std::optional<MIDIEvent> midiEvent(const MIDIFileChunkEvent& fileEvent);

} // namespace rozezeru
