// Standard MIDI File reading and writing for MusicSequence. Files are untrusted: every length is
// checked against what is left, and a malformed file loads nothing.

#include "platform/sequencing/MusicSequence.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <tuple>

namespace platform {

namespace {

struct Reader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool failed = false;

    bool has(std::size_t count) const { return !failed && bytes.size() - at >= count; }
    std::uint8_t byte() {
        if (!has(1)) {
            failed = true;
            return 0;
        }
        return bytes[at++];
    }
    std::uint32_t bigEndian(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i)
            value = value << 8 | byte();
        return value;
    }
    std::uint32_t vlq() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const auto b = byte();
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80)) return value;
        }
        failed = true; // longer than the format allows
        return 0;
    }
    std::vector<std::uint8_t> take(std::size_t count) {
        if (!has(count)) {
            failed = true;
            return {};
        }
        std::vector<std::uint8_t> out(bytes.begin() + static_cast<long>(at),
                                      bytes.begin() + static_cast<long>(at + count));
        at += count;
        return out;
    }
};

struct LoadedEvent {
    MusicTimeStamp time;
    MusicEventData data;
};

struct LoadedTrack {
    std::vector<LoadedEvent> events;
    std::vector<LoadedEvent> tempoEvents; // tempo and time signatures, for the tempo track
    MusicTimeStamp length = 0;
};

int channelDataBytes(std::uint8_t status) {
    const auto kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

// One track chunk; false when it is malformed.
bool readTrack(std::span<const std::uint8_t> body, double division, bool tempoChunk, LoadedTrack& out) {
    Reader in{body};
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;
    // Open notes per channel and key, first on first off.
    std::map<std::pair<int, int>, std::deque<std::pair<std::size_t, std::uint64_t>>> open;
    auto beats = [&](std::uint64_t t) { return static_cast<double>(t) / division; };
    bool ended = false;
    while (!ended && in.has(1)) {
        tick += in.vlq();
        std::uint8_t status = in.byte();
        if (in.failed) return false;
        if (status < 0x80) {
            if (!runningStatus) return false;
            --in.at;
            status = runningStatus;
        }
        const MusicTimeStamp time = beats(tick);
        if (status == 0xFF) {
            const auto type = in.byte();
            auto data = in.take(in.vlq());
            if (in.failed) return false;
            if (type == 0x2F) {
                out.length = time;
                ended = true;
            } else if (type == 0x51) {
                if (data.size() != 3) return false;
                const auto micros = data[0] << 16 | data[1] << 8 | data[2];
                if (micros == 0) return false;
                out.tempoEvents.push_back({time, ExtendedTempoEvent{60000000.0 / micros}});
            } else if (type == 0x58 || tempoChunk) {
                out.tempoEvents.push_back({time, MIDIMetaEvent{type, std::move(data)}});
            } else {
                out.events.push_back({time, MIDIMetaEvent{type, std::move(data)}});
            }
            runningStatus = 0;
        } else if (status == 0xF0 || status == 0xF7) {
            auto data = in.take(in.vlq());
            if (in.failed) return false;
            if (status == 0xF0) data.insert(data.begin(), 0xF0);
            out.events.push_back({time, MIDIRawData{std::move(data)}});
            runningStatus = 0;
        } else if (status >= 0xF0) {
            return false; // real-time and common messages have no place in a file
        } else {
            runningStatus = status;
            const auto data1 = in.byte();
            const auto data2 = channelDataBytes(status) == 2 ? in.byte() : std::uint8_t(0);
            if (in.failed || data1 > 0x7F || data2 > 0x7F) return false;
            const int channel = status & 0x0F;
            const auto kind = status & 0xF0;
            if (kind == 0x90 && data2 > 0) {
                open[{channel, data1}].emplace_back(out.events.size(), tick);
                out.events.push_back(
                    {time, MIDINoteMessage{static_cast<std::uint8_t>(channel), data1, data2, 0, 0}});
            } else if (kind == 0x80 || kind == 0x90) {
                auto& waiting = open[{channel, data1}];
                if (!waiting.empty()) {
                    auto [index, onTick] = waiting.front();
                    waiting.pop_front();
                    auto& note = std::get<MIDINoteMessage>(out.events[index].data);
                    note.duration = static_cast<float>(beats(tick - onTick));
                    note.releaseVelocity = kind == 0x80 ? data2 : 0;
                }
            } else {
                out.events.push_back({time, MIDIChannelMessage{status, data1, data2, 0}});
            }
        }
    }
    if (in.failed) return false;
    // A chunk cut short of its end-of-track still holds what came before it.
    if (!ended) out.length = beats(tick);
    // Notes never switched off sound to the end of the track.
    for (auto& [key, waiting] : open)
        for (auto [index, onTick] : waiting)
            std::get<MIDINoteMessage>(out.events[index].data).duration =
                static_cast<float>(beats(tick - onTick));
    return true;
}

void appendVlq(std::vector<std::uint8_t>& out, std::uint64_t value) {
    value = std::min<std::uint64_t>(value, 0x0FFFFFFF);
    std::uint8_t buffer[4];
    int count = 0;
    do {
        buffer[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (count--)
        out.push_back(static_cast<std::uint8_t>(buffer[count] | (count ? 0x80 : 0)));
}

void appendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int count) {
    for (int shift = (count - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// Messages of one track chunk at their ticks; note-offs sort before anything else at their tick,
// so a note repeated at the moment it ends is not cut short (but not before their own note-on).
struct FileMessage {
    std::uint64_t tick;
    int order;
    std::size_t sequence;
    std::vector<std::uint8_t> bytes;
};

std::uint64_t toTicks(MusicTimeStamp beats, std::uint16_t ticksPerQuarter) {
    const double ticks = std::round(beats * ticksPerQuarter);
    return ticks > 0 && ticks < 2e9 ? static_cast<std::uint64_t>(ticks) : 0;
}

void appendChunk(std::vector<std::uint8_t>& out, std::vector<FileMessage> messages, std::uint64_t endTick) {
    std::stable_sort(messages.begin(), messages.end(), [](const FileMessage& a, const FileMessage& b) {
        return std::tie(a.tick, a.order, a.sequence) < std::tie(b.tick, b.order, b.sequence);
    });
    std::vector<std::uint8_t> body;
    std::uint64_t tick = 0;
    for (const auto& message : messages) {
        appendVlq(body, message.tick - tick);
        tick = message.tick;
        body.insert(body.end(), message.bytes.begin(), message.bytes.end());
    }
    appendVlq(body, std::max(endTick, tick) - tick);
    body.insert(body.end(), {0xFF, 0x2F, 0x00});
    out.insert(out.end(), {'M', 'T', 'r', 'k'});
    appendBigEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<FileMessage> fileMessages(const std::vector<MusicEvent>& events, std::uint16_t tpq,
                                      std::uint64_t& endTick) {
    std::vector<FileMessage> messages;
    for (const auto& event : events) {
        const auto tick = toTicks(event.time, tpq);
        const auto n = messages.size();
        std::visit(
            [&](const auto& record) {
                using R = std::decay_t<decltype(record)>;
                if constexpr (std::is_same_v<R, ExtendedTempoEvent>) {
                    const auto micros = static_cast<std::uint32_t>(
                        std::clamp(std::round(60000000.0 / record.bpm), 1.0, 16777215.0));
                    messages.push_back(
                        {tick,
                         1,
                         n,
                         {0xFF, 0x51, 0x03, static_cast<std::uint8_t>(micros >> 16),
                          static_cast<std::uint8_t>(micros >> 8), static_cast<std::uint8_t>(micros)}});
                } else if constexpr (std::is_same_v<R, MIDIMetaEvent>) {
                    std::vector<std::uint8_t> bytes{0xFF, record.metaEventType};
                    appendVlq(bytes, record.data.size());
                    bytes.insert(bytes.end(), record.data.begin(), record.data.end());
                    messages.push_back({tick, 1, n, std::move(bytes)});
                } else if constexpr (std::is_same_v<R, MIDINoteMessage>) {
                    const auto channel = static_cast<std::uint8_t>(record.channel & 0x0F);
                    const auto note = static_cast<std::uint8_t>(record.note & 0x7F);
                    const auto offTick = toTicks(event.time + std::max(0.0f, record.duration), tpq);
                    messages.push_back(
                        {tick,
                         1,
                         n,
                         {static_cast<std::uint8_t>(0x90 | channel), note,
                          static_cast<std::uint8_t>(std::clamp<int>(record.velocity, 1, 127))}});
                    // A note that ends where it starts keeps its off after its on.
                    messages.push_back({offTick,
                                        offTick > tick ? 0 : 1,
                                        n,
                                        {static_cast<std::uint8_t>(0x80 | channel), note,
                                         static_cast<std::uint8_t>(record.releaseVelocity & 0x7F)}});
                    endTick = std::max(endTick, offTick);
                } else if constexpr (std::is_same_v<R, MIDIChannelMessage>) {
                    if (record.status < 0x80 || record.status >= 0xF0) return;
                    std::vector<std::uint8_t> bytes{record.status,
                                                    static_cast<std::uint8_t>(record.data1 & 0x7F)};
                    if (channelDataBytes(record.status) == 2) bytes.push_back(record.data2 & 0x7F);
                    messages.push_back({tick, 1, n, std::move(bytes)});
                } else if constexpr (std::is_same_v<R, MIDIRawData>) {
                    const bool exclusive = !record.data.empty() && record.data[0] == 0xF0;
                    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(exclusive ? 0xF0 : 0xF7)};
                    appendVlq(bytes, record.data.size() - (exclusive ? 1 : 0));
                    bytes.insert(bytes.end(), record.data.begin() + (exclusive ? 1 : 0), record.data.end());
                    messages.push_back({tick, 1, n, std::move(bytes)});
                }
            },
            event.data);
        endTick = std::max(endTick, tick);
    }
    return messages;
}

} // namespace

std::int32_t MusicSequence::loadFileData(std::span<const std::uint8_t> bytes) {
    Reader in{bytes};
    std::vector<LoadedTrack> loaded;
    bool valid = in.has(14) && std::equal(bytes.begin(), bytes.begin() + 4, "MThd");
    std::uint16_t format = 0, division = 0;
    if (valid) {
        in.at = 4;
        const auto headerLength = in.bigEndian(4);
        format = static_cast<std::uint16_t>(in.bigEndian(2));
        in.bigEndian(2); // the declared track count; the chunks themselves are counted
        division = static_cast<std::uint16_t>(in.bigEndian(2));
        // Time-code divisions have no beats to map to.
        valid = headerLength >= 6 && format <= 1 && division > 0 && !(division & 0x8000) &&
                in.has(headerLength - 6);
        in.at = 8 + headerLength;
    }
    while (valid && in.has(8)) {
        const auto tag = in.take(4);
        const auto length = in.bigEndian(4);
        if (!in.has(length)) {
            valid = false;
            break;
        }
        const auto body = bytes.subspan(in.at, length);
        in.at += length;
        if (!std::equal(tag.begin(), tag.end(), "MTrk")) continue; // unknown chunks are skipped
        LoadedTrack track;
        valid = readTrack(body, division, format == 1 && loaded.empty(), track);
        loaded.push_back(std::move(track));
    }
    valid = valid && !in.failed && !loaded.empty();

    std::lock_guard lock(*mutex_);
    clearLocked();
    if (!valid) return kAudioToolboxErr_InvalidSequenceType;
    timeResolution_ = division;
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        auto& track = loaded[i];
        for (auto& event : track.tempoEvents)
            tempoTrack_->insertLocked(event.time, std::move(event.data));
        tempoTrack_->length_ = std::max(tempoTrack_->length_, track.length);
        // The tempo chunk of a format 1 file becomes a track only when it carries more than the map.
        if (format == 1 && i == 0 && track.events.empty()) continue;
        auto made = std::shared_ptr<MusicTrack>(new MusicTrack(mutex_));
        for (auto& event : track.events)
            made->insertLocked(event.time, std::move(event.data));
        made->length_ = std::max(made->length_, track.length);
        tracks_.push_back(std::move(made));
    }
    return noErr;
}

std::vector<std::uint8_t> MusicSequence::createFileData(std::uint16_t ticksPerQuarter) const {
    ticksPerQuarter = std::clamp<std::uint16_t>(ticksPerQuarter, 1, 0x7FFF);
    std::lock_guard lock(*mutex_);
    std::vector<std::uint8_t> out{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    appendBigEndian(out, static_cast<std::uint32_t>(tracks_.size() + 1), 2);
    appendBigEndian(out, ticksPerQuarter, 2);
    auto chunkOf = [&](const MusicTrack& track) {
        std::uint64_t endTick = toTicks(track.length_, ticksPerQuarter);
        auto messages = fileMessages(track.events_, ticksPerQuarter, endTick);
        appendChunk(out, std::move(messages), std::max(endTick, toTicks(track.length_, ticksPerQuarter)));
    };
    chunkOf(*tempoTrack_);
    for (const auto& track : tracks_)
        chunkOf(*track);
    return out;
}

} // namespace platform
