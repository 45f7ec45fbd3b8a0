#include "RozezEru/MIDI/MIDIFile/MIDIFile.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/MIDI/MIDIFile/MIDIVariableLengthQuantity.h"
#include "RozezEru/MIDI/MIDISysExMessage.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Url.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

namespace {

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes) {
    std::uint32_t value = 0;
    for (auto byte : bytes)
        value = value << 8 | byte;
    return value;
}

// The quantity at the start of `bytes`, or nothing when its last byte is missing.
std::optional<std::pair<int, std::uint32_t>> completeQuantity(std::span<const std::uint8_t> bytes) {
    const auto result = MIDIVariableLengthQuantity::read(bytes);
    if (result.first == 0 || bytes[result.first - 1] & 0x80) return std::nullopt;
    return result;
}

// Bytes of a channel message after its status.
int dataLength(std::uint8_t status) {
    return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
}

} // namespace

std::string_view rawValue(MIDIFileChunkType type) {
    return type == MIDIFileChunkType::track ? "MTrk" : "MThd";
}

std::uint32_t MIDIFileChunk::length() const {
    return bigEndian(lengthData());
}

std::optional<MIDIFileChunkType> MIDIFileChunk::type() const {
    const std::string_view tag(reinterpret_cast<const char*>(rawData.data()), 4);
    if (tag == rawValue(MIDIFileChunkType::track)) return MIDIFileChunkType::track;
    if (tag == rawValue(MIDIFileChunkType::header)) return MIDIFileChunkType::header;
    return std::nullopt;
}

std::optional<MIDIFileChunk> MIDIFileChunk::fromData(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 8) return std::nullopt;
    const std::uint64_t size = 8 + std::uint64_t(bigEndian(bytes.subspan(4, 4)));
    if (size > bytes.size()) return std::nullopt;
    return MIDIFileChunk{{bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size)}};
}

std::optional<MIDIFileHeaderChunk> MIDIFileHeaderChunk::fromData(std::span<const std::uint8_t> bytes) {
    auto chunk = MIDIFileChunk::fromData(bytes);
    if (!chunk || !chunk->isHeader() || chunk->length() < 6) return std::nullopt;
    MIDIFileHeaderChunk header;
    header.rawData = std::move(chunk->rawData);
    return header;
}

std::uint16_t MIDIFileHeaderChunk::number(std::size_t offset) const {
    return static_cast<std::uint16_t>(bigEndian(data().subspan(offset, 2)));
}

std::optional<MIDIFileTrackChunk> MIDIFileTrackChunk::fromData(std::span<const std::uint8_t> bytes) {
    auto chunk = MIDIFileChunk::fromData(bytes);
    if (!chunk || !chunk->isTrack()) return std::nullopt;
    MIDIFileTrackChunk track;
    track.rawData = std::move(chunk->rawData);
    return track;
}

std::vector<MIDIFileChunkEvent> MIDIFileTrackChunk::chunkEvents(std::string* error) const {
    const auto body = data();
    std::vector<MIDIFileChunkEvent> events;
    std::uint8_t runningStatus = 0; // 0: none in effect
    std::uint64_t ticks = 0;
    std::size_t p = 0;
    auto fail = [&](std::string message) {
        Log(LogSite("chunkEvents", OSLog::midi(), LogType::error), message);
        if (error) *error = std::move(message);
        return events;
    };
    while (p < body.size()) {
        const auto delta = completeQuantity(body.subspan(p));
        if (!delta) return fail("error parsing midi file, delta time runs past the end of the track");
        MIDIFileChunkEvent event{{body.begin() + static_cast<std::ptrdiff_t>(p),
                                  body.begin() + static_cast<std::ptrdiff_t>(p + delta->first)},
                                 timeFormat,
                                 timeDivision,
                                 std::nullopt,
                                 ticks};
        p += static_cast<std::size_t>(delta->first);
        if (p >= body.size()) break; // a trailing delta without an event
        const auto rest = body.subspan(p);
        const std::uint8_t byte = rest[0];
        std::size_t size = 0;
        if (byte == 0xFF) {
            const auto meta = MIDICustomMetaEvent::fromFileData(rest);
            if (!meta)
                return fail("error parsing midi file, meta event cannot be read at " + std::to_string(p) +
                            " of " + std::to_string(body.size()));
            size = meta->data().size();
            runningStatus = 0;
        } else if (byte == 0xF0 || byte == 0xF7) {
            // A system-exclusive message, or an escape carrying any bytes: both say how long they are.
            const auto length = completeQuantity(rest.subspan(1));
            if (!length || 1 + std::uint64_t(length->first) + length->second > rest.size())
                return fail(
                    "error parsing midi file, system-exclusive event runs past the end of the track at " +
                    std::to_string(p) + " of " + std::to_string(body.size()));
            size = 1 + static_cast<std::size_t>(length->first) + length->second;
            runningStatus = 0;
        } else if (byte >= 0x80 && byte <= 0xEF) {
            size = 1 + static_cast<std::size_t>(dataLength(byte));
            runningStatus = byte;
        } else if (byte < 0x80 && runningStatus != 0) {
            size = static_cast<std::size_t>(dataLength(runningStatus));
            event.runningStatus = MIDIStatus::fromByte(runningStatus);
        } else {
            return fail("error parsing midi file, byte is " + std::to_string(byte) + ", processed " +
                        std::to_string(p) + " of " + std::to_string(body.size()));
        }
        if (size > rest.size())
            return fail("error parsing midi file, message runs past the end of the track at " +
                        std::to_string(p) + " of " + std::to_string(body.size()));
        event.data.insert(event.data.end(), rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(size));
        p += size;
        ticks += delta->second;
        events.push_back(std::move(event));
    }
    return events;
}

std::uint32_t MIDIFileChunkEvent::deltaTime() const {
    return MIDIVariableLengthQuantity::read(data).second;
}

std::span<const std::uint8_t> MIDIFileChunkEvent::eventData() const {
    const auto size = static_cast<std::size_t>(MIDIVariableLengthQuantity::read(data).first);
    return std::span(data).subspan(std::min(size, data.size()));
}

std::optional<std::size_t> MIDIFileChunkEvent::typeIndex() const {
    const auto index = data.size() - eventData().size();
    if (index >= data.size()) return std::nullopt;
    const auto byte = data[index];
    if (byte == 0xFF) return index + 1 < data.size() ? std::optional(index + 1) : std::nullopt;
    if ((byte >= 0x80 && byte <= 0xEF) || midiSystemCommandFromRawValue(byte)) return index;
    return std::nullopt;
}

std::vector<std::uint8_t> MIDIFileChunkEvent::messageBytes() const {
    const auto own = eventData();
    const std::size_t start = runningStatus ? 1 : 0;
    std::vector<std::uint8_t> bytes(start + own.size());
    if (runningStatus) bytes[0] = runningStatus->byte;
    std::copy(own.begin(), own.end(), bytes.begin() + static_cast<std::ptrdiff_t>(start));
    return bytes;
}

std::optional<double> MIDIFileChunkEvent::positionInBeats() const {
    if (timeFormat != MIDITimeFormat::ticksPerBeat || timeDivision <= 0) return std::nullopt;
    return static_cast<double>(deltaTime() + timeOffset) / timeDivision;
}

std::optional<MIDIEvent> midiEvent(const MIDIFileChunkEvent& fileEvent) {
    const auto bytes = fileEvent.messageBytes();
    if (bytes.empty() || bytes[0] == 0xFF) return std::nullopt;
    MIDIEvent event(bytes);
    event.positionInBeats = fileEvent.positionInBeats();
    return event;
}

std::vector<MIDIEvent> MIDIFileTrack::events() const {
    std::vector<MIDIEvent> result;
    for (auto& event : allEvents())
        if (!event.data.empty() && event.data[0] >= 0x80 && event.data[0] <= 0xEF) result.push_back(event);
    return result;
}

std::vector<MIDIEvent> MIDIFileTrack::allEvents() const {
    std::vector<MIDIEvent> result;
    for (const auto& fileEvent : chunk.chunkEvents())
        if (auto event = midiEvent(fileEvent)) result.push_back(std::move(*event));
    return result;
}

std::vector<MIDICustomMetaEvent> MIDIFileTrack::metaEvents() const {
    std::vector<MIDICustomMetaEvent> result;
    for (const auto& fileEvent : chunk.chunkEvents()) {
        if (fileEvent.runningStatus) continue;
        if (auto meta = MIDICustomMetaEvent::fromFileData(fileEvent.eventData())) {
            meta->positionInBeats = fileEvent.positionInBeats();
            result.push_back(std::move(*meta));
        }
    }
    return result;
}

double MIDIFileTrack::length() const {
    const auto meta = metaEvents();
    return meta.empty() ? 0 : meta.back().positionInBeats.value_or(0);
}

std::optional<std::string> MIDIFileTrack::name() const {
    for (const auto& meta : metaEvents())
        if (meta.type() == MIDICustomMetaEventType::trackName) return meta.text();
    return std::nullopt;
}

std::optional<MIDIFileTempoTrack> MIDIFileTempoTrack::fromTrackChunk(const MIDIFileTrackChunk& chunk) {
    MIDIFileTrack track{chunk};
    for (const auto& meta : track.metaEvents())
        if (meta.type() == MIDICustomMetaEventType::setTempo) return MIDIFileTempoTrack{track, meta.data()};
    return std::nullopt;
}

float MIDIFileTempoTrack::bpm() const {
    const auto bytes = std::span(tempoData).last(std::min<std::size_t>(3, tempoData.size()));
    const auto microsecondsPerBeat = bigEndian(bytes);
    // No tempo, or one of 0 microseconds per beat, is no tempo at all: the file's default.
    if (microsecondsPerBeat == 0) return 120;
    const double x = 60'000'000.0f / static_cast<float>(microsecondsPerBeat);
    return static_cast<float>(std::trunc(x * 10'000) * 0.0001);
}

MIDIFile::MIDIFile(std::string_view path)
    : filename(platform::Url::fileURLWithPath(path).lastPathComponent()) {
    const auto bytes = platform::readFile(std::string(path));
    if (!bytes) {
        Log(LogSite("init(url:)", OSLog::midi(), LogType::error), "Could not read MIDI file",
            std::string(path));
        return;
    }
    readChunks(*bytes);
}

MIDIFile::MIDIFile(std::span<const std::uint8_t> bytes, std::string name) : filename(std::move(name)) {
    readChunks(bytes);
}

void MIDIFile::readChunks(std::span<const std::uint8_t> bytes) {
    std::size_t position = 0;
    while (position < bytes.size()) {
        auto chunk = MIDIFileChunk::fromData(bytes.subspan(position));
        if (!chunk) {
            Log(LogSite("init(url:)", OSLog::midi(), LogType::error),
                "MIDI file " + filename + ": chunk at " + std::to_string(position) + " runs past the end");
            return;
        }
        position += chunk->rawData.size();
        if (chunk->isTrack() || (chunk->isHeader() && MIDIFileHeaderChunk::fromData(chunk->rawData)))
            chunks.push_back(std::move(*chunk));
        else
            // Readers skip chunks they do not know; a header too short to read is no header.
            Log(LogSite("init(url:)", OSLog::midi()), "MIDI file " + filename + ": skipped a chunk at " +
                                                          std::to_string(position - chunk->rawData.size()));
    }
}

std::optional<MIDIFileHeaderChunk> MIDIFile::headerChunk() const {
    for (const auto& chunk : chunks)
        if (auto header = MIDIFileHeaderChunk::fromData(chunk.rawData)) return header;
    return std::nullopt;
}

std::vector<MIDIFileTrackChunk> MIDIFile::trackChunks() const {
    auto chunk = chunks.begin();
    while (chunk != chunks.end() && chunk->isHeader())
        ++chunk;
    const auto format = timeFormat().value_or(MIDITimeFormat::ticksPerBeat);
    const int division =
        format == MIDITimeFormat::ticksPerBeat ? ticksPerBeat().value_or(480) : *ticksPerFrame();
    std::vector<MIDIFileTrackChunk> tracks;
    for (; chunk != chunks.end(); ++chunk) {
        auto track = MIDIFileTrackChunk::fromData(chunk->rawData);
        if (!track) return {};
        track->timeFormat = format;
        track->timeDivision = division;
        tracks.push_back(std::move(*track));
    }
    return tracks;
}

std::vector<MIDIFileTrack> MIDIFile::tracks() const {
    auto chunks = trackChunks();
    std::vector<MIDIFileTrack> result;
    for (std::size_t i = format() == 1 ? 1 : 0; i < chunks.size(); ++i)
        result.push_back(MIDIFileTrack{std::move(chunks[i])});
    return result;
}

std::optional<MIDIFileTempoTrack> MIDIFile::tempoTrack() const {
    if (format() != 1) return std::nullopt;
    const auto chunks = trackChunks();
    if (chunks.empty()) return std::nullopt;
    return MIDIFileTempoTrack::fromTrackChunk(chunks.front());
}

int MIDIFile::format() const {
    const auto header = headerChunk();
    return header ? header->format() : 0;
}

int MIDIFile::trackCount() const {
    const auto header = headerChunk();
    return header ? header->trackCount() : 0;
}

int MIDIFile::timeDivision() const {
    const auto header = headerChunk();
    return header ? header->timeDivision() : 0;
}

std::optional<MIDITimeFormat> MIDIFile::timeFormat() const {
    if (!headerChunk()) return std::nullopt;
    return timeDivision() & 0x8000 ? MIDITimeFormat::framesPerSecond : MIDITimeFormat::ticksPerBeat;
}

std::optional<int> MIDIFile::ticksPerBeat() const {
    if (timeFormat() != MIDITimeFormat::ticksPerBeat) return std::nullopt;
    return timeDivision() & 0x7FFF;
}

std::optional<int> MIDIFile::framesPerSecond() const {
    if (timeFormat() != MIDITimeFormat::framesPerSecond) return std::nullopt;
    return -static_cast<std::int8_t>(timeDivision() >> 8);
}

std::optional<int> MIDIFile::ticksPerFrame() const {
    if (timeFormat() != MIDITimeFormat::framesPerSecond) return std::nullopt;
    return timeDivision() & 0xFF;
}

} // namespace rozezeru
