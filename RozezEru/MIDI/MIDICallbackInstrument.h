#pragma once
// An instrument that makes no sound: every note, controller, aftertouch and pitch-wheel event reaching it,
// by either road, becomes one call of a closure with a three-byte channel message. Program changes and
// system messages never reach the closure. The closure runs on the thread of the road the event took.

#include "RozezEru/MIDI/MIDIInstrument.h"

#include <functional>

namespace rozezeru {

class MIDICallbackInstrument : public MIDIInstrument {
public:
    using Callback = std::function<void(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)>;

    explicit MIDICallbackInstrument(const std::string& midiInputName, Callback callback = {});

    const Callback& callback() const { return callback_; }
    void setCallback(Callback callback) { callback_ = std::move(callback); }

    void start(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
               EventTime timeStamp) override;
    void stop(std::uint8_t noteNumber, std::uint8_t channel, EventTime timeStamp) override;
    void receivedMIDIController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel,
                                PortID portID, EventTime timeStamp) override;
    void receivedMIDIAftertouch(std::uint8_t noteNumber, std::uint8_t pressure, std::uint8_t channel,
                                PortID portID, EventTime timeStamp) override;
    void receivedMIDIAftertouch(std::uint8_t pressure, std::uint8_t channel, PortID portID,
                                EventTime timeStamp) override;
    void receivedMIDIPitchWheel(std::uint16_t pitchWheelValue, std::uint8_t channel, PortID portID,
                                EventTime timeStamp) override;

private:
    void send(std::uint8_t type, std::uint8_t channel, std::uint8_t data1, std::uint8_t data2) const;

    Callback callback_;
};

} // namespace rozezeru
