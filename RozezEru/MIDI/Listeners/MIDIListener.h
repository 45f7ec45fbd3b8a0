#pragma once
// The callbacks of the MIDI subsystem: MIDIListener receives every incoming message and the client's
// notifications; the observer protocols are what the tempo, real-time and clock listeners report to.
// Every operation does nothing by default. Listener operations are called on the thread that delivers
// MIDI input, the notification operations on the thread of the client's notifications; observers on
// the thread of the message that caused the call.

#include "RozezEru/MIDI/SnapshotList.h"
#include "platform/midi/MIDITypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace rozezeru {

using platform::MIDITimeStamp;
using platform::MIDIUniqueID;
using PortID = std::optional<MIDIUniqueID>;
using EventTime = std::optional<MIDITimeStamp>;

class MIDIListener {
public:
    virtual ~MIDIListener() = default;

    virtual void receivedMIDINoteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                                    PortID portID, EventTime timeStamp) {}
    virtual void receivedMIDINoteOff(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                                     PortID portID, EventTime timeStamp) {}
    virtual void receivedMIDIController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel,
                                        PortID portID, EventTime timeStamp) {}
    // Polyphonic aftertouch.
    virtual void receivedMIDIAftertouch(std::uint8_t noteNumber, std::uint8_t pressure, std::uint8_t channel,
                                        PortID portID, EventTime timeStamp) {}
    // Channel aftertouch.
    virtual void receivedMIDIAftertouch(std::uint8_t pressure, std::uint8_t channel, PortID portID,
                                        EventTime timeStamp) {}
    // First data byte + 128 × second.
    virtual void receivedMIDIPitchWheel(std::uint16_t pitchWheelValue, std::uint8_t channel, PortID portID,
                                        EventTime timeStamp) {}
    virtual void receivedMIDIProgramChange(std::uint8_t program, std::uint8_t channel, PortID portID,
                                           EventTime timeStamp) {}
    // System messages, whole (first byte 0xF0...0xFF).
    virtual void receivedMIDISystemCommand(std::span<const std::uint8_t> data, PortID portID,
                                           EventTime timeStamp) {}
    virtual void receivedMIDISetupChange() {}
    virtual void
    receivedMIDIPropertyChange(const platform::MIDIObjectPropertyChangeNotification& propertyChangeInfo) {}
    virtual void receivedMIDINotification(const platform::MIDINotification& notification) {}
};

// Tells whether two observers are the same one; by default, the same object.
class ObserverProtocol {
public:
    virtual ~ObserverProtocol() = default;
    virtual bool isSameObserver(const ObserverProtocol& other) const { return this == &other; }
};

class MIDISystemRealTimeListener;

class MIDISystemRealTimeObserver : public ObserverProtocol {
public:
    virtual void startSRT(MIDISystemRealTimeListener& listener) {}
    virtual void stopSRT(MIDISystemRealTimeListener& listener) {}
    virtual void continueSRT(MIDISystemRealTimeListener& listener) {}
};

class MIDITempoObserver : public ObserverProtocol {
public:
    // The first clock after a time without one: the program now follows an outside clock.
    virtual void midiClockFollowerMode() {}
    // The outside clock stopped.
    virtual void midiClockLeaderEnabled() {}
    // The tempo text ("%3.2f") changed.
    virtual void receivedTempo(double bpm, const std::string& text) {}
};

class MIDIBeatObserver : public ObserverProtocol {
public:
    virtual void prepareToPlay(bool continuing) {}
    virtual void firstBeatStarted(bool continuing) {}
    virtual void playbackStopped() {}
    // One beat is 6 clocks.
    virtual void receivedSongPositionBeat(std::uint64_t beat) {}
    virtual void receivedQuantum(std::uint64_t time, std::uint8_t quarterNote, std::uint64_t beat,
                                 std::uint64_t quantum) {}
    virtual void receivedQuarterNote(std::uint8_t quarterNote) {}
};

// An ordered list of observers of one protocol, safe to change while another thread notifies.
template <typename Observer> class MIDIObserverMaster {
public:
    void addObserver(std::shared_ptr<Observer> observer) { observers_.append(std::move(observer)); }
    void removeObserver(const Observer& observer) {
        observers_.removeIf(
            [&](const std::shared_ptr<Observer>& entry) { return entry->isSameObserver(observer); });
    }
    void removeAllObservers() { observers_.clear(); }
    // Calls `action` with each observer, in the order they were added.
    void forEachObserver(const std::function<void(Observer&)>& action) const {
        const auto observers = observers_.snapshot();
        for (auto& observer : *observers)
            action(*observer);
    }
    typename SnapshotList<std::shared_ptr<Observer>>::Snapshot observers() const {
        return observers_.snapshot();
    }

private:
    SnapshotList<std::shared_ptr<Observer>> observers_;
};

} // namespace rozezeru
