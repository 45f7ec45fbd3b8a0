#pragma once
// A MIDI listener that writes down every call it gets, in order, as short texts ("on 60 100 2 @7 t42").

#include "RozezEru/MIDI/MIDI.h"
#include "platform/midi/LoopbackMIDIService.h"

#include <mutex>
#include <string>
#include <vector>

namespace miditest {

using namespace rozezeru;

inline std::string port(PortID id, EventTime time) {
    return " @" + (id ? std::to_string(*id) : "nil") + (time ? " t" + std::to_string(*time) : "");
}

class Recorder : public MIDIListener {
public:
    bool hearsNotifications = false;
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void receivedMIDINoteOn(std::uint8_t n, std::uint8_t v, std::uint8_t c, PortID p, EventTime t) override {
        add("on " + std::to_string(n) + " " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDINoteOff(std::uint8_t n, std::uint8_t v, std::uint8_t c, PortID p, EventTime t) override {
        add("off " + std::to_string(n) + " " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDIController(std::uint8_t n, std::uint8_t v, std::uint8_t c, PortID p,
                                EventTime t) override {
        add("cc " + std::to_string(n) + " " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDIAftertouch(std::uint8_t n, std::uint8_t v, std::uint8_t c, PortID p,
                                EventTime t) override {
        add("poly " + std::to_string(n) + " " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDIAftertouch(std::uint8_t v, std::uint8_t c, PortID p, EventTime t) override {
        add("pressure " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDIPitchWheel(std::uint16_t v, std::uint8_t c, PortID p, EventTime t) override {
        add("bend " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDIProgramChange(std::uint8_t v, std::uint8_t c, PortID p, EventTime t) override {
        add("program " + std::to_string(v) + " " + std::to_string(c) + port(p, t));
    }
    void receivedMIDISystemCommand(std::span<const std::uint8_t> data, PortID p, EventTime t) override {
        add("system " + byteListDescription(data) + port(p, t));
    }
    void receivedMIDISetupChange() override {
        if (hearsNotifications) add("setup");
    }
    void receivedMIDIPropertyChange(const platform::MIDIObjectPropertyChangeNotification& info) override {
        if (hearsNotifications) add("property " + info.propertyName);
    }
    void receivedMIDINotification(const platform::MIDINotification& n) override {
        if (hearsNotifications) add("notification " + std::to_string(static_cast<int>(n.messageID)));
    }

private:
    void add(std::string call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

// Two clients of one loopback service, the recorder listening to the second.
struct Loop {
    std::shared_ptr<platform::LoopbackMIDIService> service =
        std::make_shared<platform::LoopbackMIDIService>();
    std::shared_ptr<MIDI> sender = MIDI::make(service);
    std::shared_ptr<MIDI> receiver = MIDI::make(service);
    std::shared_ptr<Recorder> heard = std::make_shared<Recorder>();
    Loop() { receiver->addListener(heard); }
};

} // namespace miditest
