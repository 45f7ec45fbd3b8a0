#pragma once
// MIDI 1.0 bytes to ALSA sequencer events and back, through ALSA's own coder (snd_midi_event). Needs no
// sequencer device. One coder belongs to one stream (a port or a source) and one thread at a time.

#include <alsa/asoundlib.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace platform {

class AlsaMIDIEncoder {
public:
    // A system-exclusive message longer than `bufferSize` comes out as several events.
    explicit AlsaMIDIEncoder(std::size_t bufferSize = 256);
    ~AlsaMIDIEncoder();
    AlsaMIDIEncoder(const AlsaMIDIEncoder&) = delete;
    AlsaMIDIEncoder& operator=(const AlsaMIDIEncoder&) = delete;

    // Calls `emit` with each event `bytes` completes. Running status and a message cut between two calls
    // are kept; an event's variable data lives only for the call of `emit`.
    void encode(std::span<const std::uint8_t> bytes, const std::function<void(snd_seq_event_t&)>& emit);

private:
    snd_midi_event_t* coder_ = nullptr;
};

class AlsaMIDIDecoder {
public:
    AlsaMIDIDecoder();
    ~AlsaMIDIDecoder();
    AlsaMIDIDecoder(const AlsaMIDIDecoder&) = delete;
    AlsaMIDIDecoder& operator=(const AlsaMIDIDecoder&) = delete;

    // Appends the bytes of the message the event carries, each with its status byte; nothing for events
    // that carry no MIDI message (announcements, timers).
    void decode(const snd_seq_event_t& event, std::vector<std::uint8_t>& bytes);

private:
    snd_midi_event_t* coder_ = nullptr;
};

} // namespace platform
