#pragma once
// Listeners that follow the channel-mode controllers of MIDI 1.0 and keep one flag each for their owner:
// Omni Mode On/Off (125/124) and Mono/Poly Operation (126/127). Written on the MIDI input thread, read on
// any thread.

#include "RozezEru/MIDI/Listeners/MIDIListener.h"

#include <atomic>

namespace rozezeru {

class MIDIOMNIListener : public MIDIListener {
public:
    explicit MIDIOMNIListener(bool omni) : omniMode(omni) {}
    void receivedMIDIController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel,
                                PortID portID, EventTime timeStamp) override;
    std::atomic<bool> omniMode;
};

class MIDIMonoPolyListener : public MIDIListener {
public:
    explicit MIDIMonoPolyListener(bool mono) : monoMode(mono) {}
    void receivedMIDIController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel,
                                PortID portID, EventTime timeStamp) override;
    std::atomic<bool> monoMode;
};

} // namespace rozezeru
