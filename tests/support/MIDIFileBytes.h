#pragma once
// Standard MIDI files written byte by byte: chunks, header bodies, variable-length quantities and a few
// whole files that use every kind of event. Used by the reader's, sequencers' and player's tests and the fuzz
// seeds. Any thread.

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace testsupport {

using MIDIBytes = std::vector<std::uint8_t>;

inline MIDIBytes join(std::initializer_list<MIDIBytes> parts) {
    MIDIBytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline MIDIBytes vlq(std::uint32_t value) {
    MIDIBytes bytes{static_cast<std::uint8_t>(value & 0x7F)};
    while (value >>= 7)
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    return bytes;
}

inline MIDIBytes chunk(std::string_view tag, const MIDIBytes& body) {
    MIDIBytes bytes(tag.begin(), tag.end());
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.push_back(static_cast<std::uint8_t>(body.size() >> shift));
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

inline MIDIBytes header(std::uint16_t format, std::uint16_t tracks, std::uint16_t division) {
    return chunk("MThd", {0, static_cast<std::uint8_t>(format), static_cast<std::uint8_t>(tracks >> 8),
                          static_cast<std::uint8_t>(tracks), static_cast<std::uint8_t>(division >> 8),
                          static_cast<std::uint8_t>(division)});
}

inline MIDIBytes meta(std::uint8_t type, const MIDIBytes& payload) {
    return join({{0xFF, type}, vlq(static_cast<std::uint32_t>(payload.size())), payload});
}

inline MIDIBytes tempo(std::uint32_t microsecondsPerBeat) {
    return meta(0x51, {static_cast<std::uint8_t>(microsecondsPerBeat >> 16),
                       static_cast<std::uint8_t>(microsecondsPerBeat >> 8),
                       static_cast<std::uint8_t>(microsecondsPerBeat)});
}

inline const MIDIBytes endOfTrack = {0x00, 0xFF, 0x2F, 0x00};

inline MIDIBytes endOfTrackAfter(std::uint32_t ticks) {
    return join({vlq(ticks), meta(0x2F, {})});
}

// Format 1 at 96 ticks per beat: a tempo track with two tempos, an unknown chunk, a track with a name,
// running status, a long unknown meta event, a system-exclusive message and an escape, and an empty track.
inline MIDIBytes formatOneFile() {
    const MIDIBytes tempoTrack = join({{0x00}, tempo(500000), {0x60}, tempo(400000), endOfTrack});
    const MIDIBytes notes = join({{0x00},
                                  meta(0x03, {'B', 'a', 's', 's'}),
                                  {0x00, 0x91, 60, 100, 48, 62, 90, 0x00, 0xC1, 5},
                                  {0x00},
                                  meta(0x60, MIDIBytes(130, 'x')),
                                  {0x18, 0xF0, 0x03, 0x7E, 0x01, 0xF7},
                                  {0x00, 0xF7, 0x02, 0xF8, 0xFA},
                                  {0x18, 0x81, 60, 0, 0x00, 62, 0},
                                  endOfTrack});
    return join({header(1, 3, 96), chunk("MTrk", tempoTrack), chunk("XFIH", {1, 2, 3}), chunk("MTrk", notes),
                 chunk("MTrk", {})});
}

// Format 0 at 25 frames per second, 40 ticks per frame.
inline MIDIBytes formatZeroFile() {
    return join(
        {header(0, 1, 0xE728), chunk("MTrk", join({{0x00, 0x90, 64, 80, 0x28, 0x80, 64, 0}, endOfTrack}))});
}

// Format 1 at 96 ticks per beat and 120 BPM: note 60 at beat 0 and 62 at beat 2 in a track of 16 beats,
// note 64 at beat 1 in a track of 24.
inline MIDIBytes tracksOf16And24Beats() {
    const MIDIBytes first = join({{0x00, 0x90, 60, 100},
                                  vlq(96),
                                  {0x80, 60, 0},
                                  vlq(96),
                                  {0x90, 62, 100},
                                  vlq(96),
                                  {0x80, 62, 0},
                                  vlq(13 * 96),
                                  {0xFF, 0x2F, 0x00}});
    const MIDIBytes second =
        join({vlq(96), {0x90, 64, 100}, vlq(48), {0x80, 64, 0}, vlq(22 * 96 + 48), {0xFF, 0x2F, 0x00}});
    return join({header(1, 3, 96), chunk("MTrk", join({{0x00}, tempo(500000), endOfTrack})),
                 chunk("MTrk", first), chunk("MTrk", second)});
}

} // namespace testsupport
