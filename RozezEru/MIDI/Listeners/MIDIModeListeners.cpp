#include "RozezEru/MIDI/Listeners/MIDIModeListeners.h"

namespace rozezeru {

void MIDIOMNIListener::receivedMIDIController(std::uint8_t controller, std::uint8_t, std::uint8_t, PortID,
                                              EventTime) {
    if (controller == 125) omniMode = true;
    if (controller == 124) omniMode = false;
}

void MIDIMonoPolyListener::receivedMIDIController(std::uint8_t controller, std::uint8_t, std::uint8_t, PortID,
                                                  EventTime) {
    if (controller == 126) monoMode = true;
    if (controller == 127) monoMode = false;
}

} // namespace rozezeru
