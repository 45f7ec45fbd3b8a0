#include "platform/midi/AlsaMIDICoding.h"

#include <algorithm>

namespace platform {

AlsaMIDIEncoder::AlsaMIDIEncoder(std::size_t bufferSize) {
    if (snd_midi_event_new(std::max<std::size_t>(bufferSize, 16), &coder_) < 0) coder_ = nullptr;
}

AlsaMIDIEncoder::~AlsaMIDIEncoder() {
    if (coder_) snd_midi_event_free(coder_);
}

void AlsaMIDIEncoder::encode(std::span<const std::uint8_t> bytes,
                             const std::function<void(snd_seq_event_t&)>& emit) {
    if (!coder_) return;
    for (auto byte : bytes) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        if (snd_midi_event_encode_byte(coder_, byte, &event) == 1 && event.type != SND_SEQ_EVENT_NONE)
            emit(event);
    }
}

AlsaMIDIDecoder::AlsaMIDIDecoder() {
    if (snd_midi_event_new(16, &coder_) < 0) {
        coder_ = nullptr;
        return;
    }
    // Every message keeps its own status byte: the bytes may go to a packet list on their own.
    snd_midi_event_no_status(coder_, 1);
}

AlsaMIDIDecoder::~AlsaMIDIDecoder() {
    if (coder_) snd_midi_event_free(coder_);
}

void AlsaMIDIDecoder::decode(const snd_seq_event_t& event, std::vector<std::uint8_t>& bytes) {
    if (!coder_) return;
    snd_seq_event_t copy = event;
    std::size_t capacity = 16;
    if (snd_seq_ev_is_variable(&event)) capacity = std::max<std::size_t>(capacity, event.data.ext.len);
    const auto start = bytes.size();
    bytes.resize(start + capacity);
    const long written =
        snd_midi_event_decode(coder_, bytes.data() + start, static_cast<long>(capacity), &copy);
    bytes.resize(start + static_cast<std::size_t>(std::max(written, 0L)));
}

} // namespace platform
