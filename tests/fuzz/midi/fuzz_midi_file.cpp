// The standard MIDI file reader over any bytes: every chunk, track, event, meta event and the tempo.
#include "RozezEru/MIDI/MIDIFile/MIDIFile.h"

#include <cmath>
#include <cstdlib>

using namespace rozezeru;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MIDIFile file(std::span<const std::uint8_t>(data, size), "fuzz.mid");
    (void)file.format();
    (void)file.framesPerSecond();
    if (auto tempo = file.tempoTrack())
        if (!std::isfinite(tempo->bpm()) || tempo->bpm() <= 0) std::abort();
    for (const auto& track : file.tracks()) {
        for (const auto& event : track.chunk.chunkEvents()) {
            // An event is made of bytes of its track, and its type byte lies inside it.
            if (event.data.size() > track.chunk.data().size()) std::abort();
            if (auto index = event.typeIndex(); index && *index >= event.data.size()) std::abort();
        }
        for (const auto& event : track.allEvents())
            if (event.positionInBeats && !std::isfinite(*event.positionInBeats)) std::abort();
        for (const auto& meta : track.metaEvents())
            (void)meta.description();
        (void)track.name();
        (void)track.length();
    }
    return 0;
}
