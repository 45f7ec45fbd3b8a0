#pragma once
// Rewrites the events of each incoming packet before the listeners get them. Called on the thread that
// delivers MIDI input.

#include "RozezEru/MIDI/MIDIEvent.h"

#include <vector>

namespace rozezeru {

class MIDITransformer {
public:
    virtual ~MIDITransformer() = default;
    // The list to use instead of `eventList`; by default logs that it was called and keeps the list.
    virtual std::vector<MIDIEvent> transform(std::vector<MIDIEvent> eventList);
};

} // namespace rozezeru
