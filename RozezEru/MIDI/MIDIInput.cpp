#include "RozezEru/Internals/Log.h"
#include "RozezEru/MIDI/MIDI.h"
#include "RozezEru/MIDI/UniversalMIDIPackets.h"

#include <algorithm>

namespace rozezeru {

namespace {

constexpr const char* closeInputFunction = "closeInput(uid:)";

// A message the listeners have an operation for; 0xFF can only be a system reset here, as meta events
// never arrive live.
bool isDispatchable(const MIDIEvent& event) {
    if (event.data.empty()) return false;
    const auto first = event.data[0];
    if (first == 0xFF) return event.data.size() == 1;
    return (first >= 0x80 && first <= 0xEF) || midiSystemCommandFromRawValue(first).has_value();
}

} // namespace

void MIDI::openInput(MIDIUniqueID uid) {
    const auto refs = inputRefs();
    for (auto source : refs) {
        const auto sourceID = uniqueID(source);
        if (uid != 0 && uid != sourceID) continue;
        // An open source keeps its port: a second one would deliver every message twice.
        if (inputPorts_.count(sourceID)) continue;
        auto reception = std::make_shared<MIDISysExReception>();
        std::weak_ptr<MIDI> weak = weak_from_this();
        MIDIPortRef port = 0;
        auto status = service_->inputPortCreate(
            client_, inputPortName, platform::MIDIProtocolID::midi1_0,
            [weak, uid, reception](const platform::MIDIEventList& eventList) {
                if (auto midi = weak.lock()) midi->receive(eventList, uid, *reception);
            },
            port);
        if (status != platform::kMIDINoErr) {
            Log(LogSite("openInput(uid:)", OSLog::general()), "Error creating MIDI Input Port:", status);
            continue;
        }
        status = service_->portConnectSource(port, source);
        if (status != platform::kMIDINoErr) {
            Log(LogSite("openInput(uid:)", OSLog::midi(), LogType::error),
                "Error connecting MIDI input:", status);
            service_->portDispose(port);
            continue;
        }
        inputPorts_[sourceID] = port;
        endpoints_[sourceID] = source;
    }
}

void MIDI::openInput(std::string_view name) {
    const auto names = inputNames();
    const auto ids = inputUIDs();
    if (auto found = std::find(names.begin(), names.end(), name); found != names.end()) {
        openInput(ids[static_cast<std::size_t>(found - names.begin())]);
    } else if (name.empty()) {
        for (auto id : ids)
            openInput(id);
    }
}

void MIDI::openInputAt(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < inputRefs().size()) openInput(inputUID(index));
}

void MIDI::closeInput(MIDIUniqueID uid) {
    if (uid != 0) {
        if (!inputName(uid) && !inputPorts_.count(uid)) {
            Log(LogSite(closeInputFunction, OSLog::midi()),
                "Trying to close midi input " + std::to_string(uid) + ", but no name was found");
            return;
        }
    }
    const auto ports = inputPorts_;
    for (const auto& [key, port] : ports) {
        if (uid != 0 && uid != key) continue;
        const auto label = inputName(key).value_or(std::to_string(key));
        Log(LogSite(closeInputFunction, OSLog::midi()), "Closing MIDI Input '" + label + "'");
        auto source = endpoints_.find(key);
        if (source != endpoints_.end()) {
            const auto status = service_->portDisconnectSource(port, source->second);
            if (status == platform::kMIDINoErr)
                Log(LogSite(closeInputFunction, OSLog::midi()),
                    "Disconnected " + label + " and removed it from endpoints and input ports");
            else
                Log(LogSite(closeInputFunction, OSLog::midi(), LogType::error),
                    "Error disconnecting MIDI port:", status);
        }
        // The port goes whatever the disconnection said, so the tables let go of it too.
        endpoints_.erase(key);
        inputPorts_.erase(key);
        const auto status = service_->portDispose(port);
        if (status == platform::kMIDINoErr)
            Log(LogSite(closeInputFunction, OSLog::midi()), "Disposed " + label);
        else
            Log(LogSite(closeInputFunction, OSLog::midi(), LogType::error),
                "Error disposing MIDI port:", status);
    }
}

void MIDI::closeInput(std::string_view name) {
    const auto names = inputNames();
    if (auto found = std::find(names.begin(), names.end(), name); found != names.end())
        closeInput(inputUIDs()[static_cast<std::size_t>(found - names.begin())]);
}

void MIDI::closeInputAt(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < inputRefs().size()) closeInput(inputUID(index));
}

void MIDI::closeAllInputs() {
    Log(LogSite("closeAllInputs()", OSLog::midi()), "Closing All Inputs");
    closeInput(MIDIUniqueID(0));
}

void MIDI::receive(const platform::MIDIEventList& eventList, MIDIUniqueID portID,
                   MIDISysExReception& reception) {
    if (eventList.protocol != platform::MIDIProtocolID::midi1_0) {
        Log(LogSite("openInput(uid:)", OSLog::midi()), "Got unsupported MIDI 2.0 MIDIEventList, skipping");
        return;
    }
    for (const auto& packet : eventList.packets) {
        auto events = processUMPMessages(packet, reception);
        // The snapshot is held for the whole walk: the list it names may be replaced meanwhile.
        const auto transformers = transformers_.snapshot();
        for (auto& transformer : *transformers)
            events = transformer->transform(std::move(events));
        for (const auto& event : events)
            if (isDispatchable(event)) handleMIDIMessage(event, portID);
    }
}

void MIDI::handleMIDIMessage(const MIDIEvent& event, MIDIUniqueID fromInput) {
    const auto listeners = listeners_.snapshot();
    const auto& data = event.data;
    // Short channel messages get 0 for the data bytes they lack.
    const std::uint8_t b1 = data.size() > 1 ? data[1] : 0;
    const std::uint8_t b2 = data.size() > 2 ? data[2] : 0;
    const PortID portID = fromInput;
    const EventTime time = event.timeStamp;
    for (auto& listener : *listeners) {
        if (!isDispatchable(event)) {
            Log(LogSite("handleMIDIMessage(_:fromInput:)", OSLog::midi()),
                "No usable status detected in handleMIDIMessage");
            continue;
        }
        const std::uint8_t channel = data[0] & 0x0F;
        switch (data[0] >> 4) {
        case 0x8:
            listener->receivedMIDINoteOff(b1, b2, channel, portID, time);
            break;
        case 0x9:
            listener->receivedMIDINoteOn(b1, b2, channel, portID, time);
            break;
        case 0xA:
            listener->receivedMIDIAftertouch(b1, b2, channel, portID, time);
            break;
        case 0xB:
            listener->receivedMIDIController(b1, b2, channel, portID, time);
            break;
        case 0xC:
            listener->receivedMIDIProgramChange(b1, channel, portID, time);
            break;
        case 0xD:
            listener->receivedMIDIAftertouch(b1, channel, portID, time);
            break;
        case 0xE:
            listener->receivedMIDIPitchWheel(data.size() >= 3 ? static_cast<std::uint16_t>(b2 * 128 + b1) : 0,
                                             channel, portID, time);
            break;
        default:
            listener->receivedMIDISystemCommand(data, portID, time);
            break;
        }
    }
}

} // namespace rozezeru
