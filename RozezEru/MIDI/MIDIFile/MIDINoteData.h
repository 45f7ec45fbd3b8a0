#pragma once
// One note as the sequencer track manager lists it: its MIDI bytes, how long it sounds and where it
// starts. A plain value; any thread.

#include "RozezEru/Sequencing/Duration.h"

#include <cstdint>
#include <string>

namespace rozezeru {

struct MIDINoteData {
    std::uint8_t noteNumber = 0;
    std::uint8_t velocity = 0;
    std::uint8_t channel = 0;
    Duration duration;
    Duration position;

    // "note: 60\nvelocity: 100\nchannel: 0\nduration: 1.0\nposition: 0.5"
    std::string description() const;

    // Only the beats of the two durations count; a beat value that is not a number matches nothing.
    friend bool operator==(const MIDINoteData& a, const MIDINoteData& b) {
        return a.noteNumber == b.noteNumber && a.velocity == b.velocity && a.channel == b.channel &&
               a.duration.beats == b.duration.beats && a.position.beats == b.position.beats;
    }
};

} // namespace rozezeru
