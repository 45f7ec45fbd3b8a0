#include "RozezEru/MIDI/MIDITransformer.h"

#include "RozezEru/Internals/Log.h"

namespace rozezeru {

std::vector<MIDIEvent> MIDITransformer::transform(std::vector<MIDIEvent> eventList) {
    Log(LogSite("transform(eventList:)", OSLog::midi()), "MIDI Transformer called");
    return eventList;
}

} // namespace rozezeru
