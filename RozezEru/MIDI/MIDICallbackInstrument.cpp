#include "RozezEru/MIDI/MIDICallbackInstrument.h"

namespace rozezeru {

MIDICallbackInstrument::MIDICallbackInstrument(const std::string& midiInputName, Callback callback)
    : MIDIInstrument(midiInputName), callback_(std::move(callback)) {}

void MIDICallbackInstrument::send(std::uint8_t type, std::uint8_t channel, std::uint8_t data1,
                                  std::uint8_t data2) const {
    if (callback_) callback_(static_cast<std::uint8_t>(type + channel), data1, data2);
}

void MIDICallbackInstrument::start(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                                   EventTime) {
    send(0x90, channel, noteNumber, velocity);
}

void MIDICallbackInstrument::stop(std::uint8_t noteNumber, std::uint8_t channel, EventTime) {
    send(0x80, channel, noteNumber, 0);
}

void MIDICallbackInstrument::receivedMIDIController(std::uint8_t controller, std::uint8_t value,
                                                    std::uint8_t channel, PortID, EventTime) {
    send(0xB0, channel, controller, value);
}

void MIDICallbackInstrument::receivedMIDIAftertouch(std::uint8_t noteNumber, std::uint8_t pressure,
                                                    std::uint8_t channel, PortID, EventTime) {
    send(0xA0, channel, noteNumber, pressure);
}

void MIDICallbackInstrument::receivedMIDIAftertouch(std::uint8_t pressure, std::uint8_t channel, PortID,
                                                    EventTime) {
    send(0xD0, channel, pressure, 0);
}

void MIDICallbackInstrument::receivedMIDIPitchWheel(std::uint16_t pitchWheelValue, std::uint8_t channel,
                                                    PortID, EventTime) {
    send(0xE0, channel, pitchWheelValue & 0x7F, (pitchWheelValue >> 7) & 0x7F);
}

} // namespace rozezeru
