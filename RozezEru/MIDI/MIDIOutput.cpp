#include "RozezEru/Internals/Log.h"
#include "RozezEru/MIDI/MIDI.h"
#include "platform/foundation/HostTime.h"

#include <algorithm>
#include <limits>

namespace rozezeru {

namespace {

constexpr const char* closeOutputFunction = "closeOutput(uid:)";

// One packet list for the whole message: packets hold at most 65535 bytes, so a longer message (only a
// system-exclusive one can be) goes in several back to back.
std::vector<std::uint8_t> packetListFor(std::span<const std::uint8_t> data, MIDITimeStamp time) {
    constexpr std::size_t packetLimit = std::numeric_limits<std::uint16_t>::max();
    std::vector<std::size_t> sizes;
    for (std::size_t offset = 0; offset < data.size() || sizes.empty(); offset += packetLimit)
        sizes.push_back(std::min(packetLimit, data.size() - offset));
    std::vector<std::uint8_t> list(platform::packetListSize(sizes));
    platform::MIDIPacketListBuilder builder(list);
    std::size_t offset = 0;
    for (auto size : sizes) {
        builder.add(time, data.subspan(offset, size));
        offset += size;
    }
    return list;
}

} // namespace

bool MIDI::ensureOutputPort() {
    if (outputPort_ != 0) return true;
    MIDIPortRef port = 0;
    if (service_->outputPortCreate(client_, outputPortName_, port) != platform::kMIDINoErr) {
        Log(LogSite("openOutput(uid:)", OSLog::midi(), LogType::error), "Unable to create MIDIOutputPort");
        return false;
    }
    outputPort_ = port;
    return true;
}

void MIDI::openOutput(MIDIUniqueID uid) {
    if (!ensureOutputPort()) return;
    for (auto destination : destinationRefs()) {
        const auto id = uniqueID(destination);
        if (uid == 0) {
            outputEndpoints_[id] = destination;
        } else if (id == uid) {
            outputEndpoints_[id] = destination;
            return;
        }
    }
}

void MIDI::openOutput(std::string_view name) {
    const auto names = destinationNames();
    auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
        // Opening everything on a misspelt name would send to every device of the setup.
        Log(LogSite("openOutput(name:)", OSLog::midi(), LogType::error),
            "No MIDI destination named '" + std::string(name) + "', nothing opened");
        return;
    }
    openOutput(destinationUIDs()[static_cast<std::size_t>(found - names.begin())]);
}

void MIDI::openOutputAt(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < destinationRefs().size())
        openOutput(destinationUID(index));
}

void MIDI::closeOutput(MIDIUniqueID uid) {
    const auto name = destinationName(uid);
    Log(LogSite(closeOutputFunction, OSLog::midi()), "Closing MIDI Output '" + name + "'");
    if (!outputEndpoints_.erase(uid)) return;
    Log(LogSite(closeOutputFunction, OSLog::midi()),
        "Disconnected " + name + " and removed it from endpoints");
    if (!outputEndpoints_.empty()) return;
    const auto status = service_->portDispose(outputPort_);
    if (status == platform::kMIDINoErr)
        Log(LogSite(closeOutputFunction, OSLog::midi()), "Disposed MIDI Output port");
    else
        Log(LogSite(closeOutputFunction, OSLog::midi(), LogType::error),
            "Error disposing  MIDI Output port:", status);
    outputPort_ = 0;
}

void MIDI::closeOutput(std::string_view name) {
    const auto names = destinationNames();
    if (auto found = std::find(names.begin(), names.end(), name); found != names.end())
        closeOutput(destinationUIDs()[static_cast<std::size_t>(found - names.begin())]);
}

void MIDI::closeOutputAt(int index) {
    if (index >= 0 && static_cast<std::size_t>(index) < destinationRefs().size())
        closeOutput(destinationUID(index));
}

void MIDI::closeAllOutputs() {
    outputEndpoints_.clear();
}

void MIDI::sendMessage(std::span<const std::uint8_t> data, MIDITimeStamp time,
                       const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs,
                       const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts) {
    const auto list = packetListFor(data, time);
    std::vector<MIDIEndpointRef> destinations;
    if (endpointsUIDs) {
        for (auto id : *endpointsUIDs)
            if (auto found = outputEndpoints_.find(id); found != outputEndpoints_.end())
                destinations.push_back(found->second);
    } else {
        for (auto& [id, destination] : outputEndpoints_)
            destinations.push_back(destination);
    }
    for (auto destination : destinations) {
        const auto status = service_->send(outputPort_, destination, list);
        if (status != platform::kMIDINoErr)
            Log(LogSite("sendMessage(_:time:endpointsUIDs:virtualOutputPorts:)", OSLog::midi(),
                        LogType::error),
                "error sending midi:", status);
    }
    const bool hasVirtualOutputs = !(virtualOutputs_.size() == 1 && virtualOutputs_[0] == 0);
    if (!hasVirtualOutputs || !virtualOutputPorts) return;
    for (auto source : *virtualOutputPorts) {
        const auto status = service_->received(source, list);
        if (status != platform::kMIDINoErr)
            Log(LogSite("sendMessage(_:time:endpointsUIDs:virtualOutputPorts:)", OSLog::midi(),
                        LogType::error),
                "error sending midi from a virtual output:", status);
    }
}

void MIDI::sendEvent(const MIDIEvent& event, const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs,
                     const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts) {
    sendMessage(event.data, platform::hostTime(), endpointsUIDs, virtualOutputPorts);
}

void MIDI::sendNoteOnMessage(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                             MIDITimeStamp time,
                             const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs,
                             const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts) {
    const std::uint8_t message[] = {static_cast<std::uint8_t>(0x90 + channel), noteNumber, velocity};
    sendMessage(message, time, endpointsUIDs, virtualOutputPorts);
}

void MIDI::sendNoteOffMessage(std::uint8_t noteNumber, std::uint8_t channel, MIDITimeStamp time,
                              const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs,
                              const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts) {
    const std::uint8_t message[] = {static_cast<std::uint8_t>(0x80 + channel), noteNumber, 0};
    sendMessage(message, time, endpointsUIDs, virtualOutputPorts);
}

void MIDI::sendControllerMessage(std::uint8_t control, std::uint8_t value, std::uint8_t channel,
                                 const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs,
                                 const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts) {
    const std::uint8_t message[] = {static_cast<std::uint8_t>(0xB0 + channel), control, value};
    sendMessage(message, platform::hostTime(), endpointsUIDs, virtualOutputPorts);
}

void MIDI::sendPitchBendMessage(std::uint16_t value, std::uint8_t channel,
                                const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs,
                                const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts) {
    const std::uint8_t message[] = {static_cast<std::uint8_t>(0xE0 + channel),
                                    static_cast<std::uint8_t>(value & 0x7F),
                                    static_cast<std::uint8_t>((value >> 7) & 0x7F)};
    sendMessage(message, platform::hostTime(), endpointsUIDs, virtualOutputPorts);
}

} // namespace rozezeru
