#include "RozezEru/MIDI/MIDIFile/MIDINoteData.h"

#include "platform/foundation/FloatText.h"

namespace rozezeru {

std::string MIDINoteData::description() const {
    return "note: " + std::to_string(noteNumber) + "\nvelocity: " + std::to_string(velocity) +
           "\nchannel: " + std::to_string(channel) + "\nduration: " + platform::floatText(duration.beats) +
           "\nposition: " + platform::floatText(position.beats);
}

} // namespace rozezeru
