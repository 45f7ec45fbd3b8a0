#include "RozezEru/Internals/CheckError.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/MIDI/MIDI.h"

namespace rozezeru {

namespace {

constexpr const char* tooFewPorts = "Error: Number of port to create can't be less than one)";

} // namespace

void MIDI::createVirtualPorts(int count, const std::optional<std::vector<MIDIUniqueID>>& inputPortIDs,
                              const std::optional<std::vector<MIDIUniqueID>>& outputPortIDs,
                              const std::optional<std::vector<std::string>>& inputPortNames,
                              const std::optional<std::vector<std::string>>& outputPortNames) {
    const char* function =
        "createVirtualPorts(count:inputPortIDs:outputPortIDs:inputPortNames:outputPortNames:)";
    if (count < 1) {
        Log(LogSite(function, OSLog::midi(), LogType::error), tooFewPorts);
        return;
    }
    Log(LogSite(function, OSLog::midi()),
        "Creating " + std::to_string(count) + " virtual input and output ports");
    createVirtualInputPorts(count, inputPortIDs, inputPortNames);
    createVirtualOutputPorts(count, outputPortIDs, outputPortNames);
}

void MIDI::createVirtualInputPorts(int count, const std::optional<std::vector<MIDIUniqueID>>& uniqueIDs,
                                   const std::optional<std::vector<std::string>>& names) {
    createVirtualEndpoints(true, count, uniqueIDs, names, "createVirtualInputPorts(count:uniqueIDs:names:)");
}

void MIDI::createVirtualOutputPorts(int count, const std::optional<std::vector<MIDIUniqueID>>& uniqueIDs,
                                    const std::optional<std::vector<std::string>>& names) {
    createVirtualEndpoints(false, count, uniqueIDs, names,
                           "createVirtualOutputPorts(count:uniqueIDs:names:)");
}

void MIDI::createVirtualEndpoints(bool inputs, int count,
                                  const std::optional<std::vector<MIDIUniqueID>>& uniqueIDs,
                                  const std::optional<std::vector<std::string>>& names,
                                  const char* function) {
    if (count < 1) {
        Log(LogSite(function, OSLog::midi(), LogType::error), tooFewPorts);
        return;
    }
    auto& list = inputs ? virtualInputs_ : virtualOutputs_;
    const std::size_t s = list.size();
    int defaultNumber = static_cast<int>(s);
    // Two apart per port and per call, so a later call never hands out an id an earlier one used.
    MIDIUniqueID offset = 2 * static_cast<MIDIUniqueID>(s - 1);
    for (int k = 0; k < count; ++k) {
        const std::size_t i = s - 1 + static_cast<std::size_t>(k);
        list.push_back(0);
        const std::string name = names && i < names->size()
                                     ? (*names)[i]
                                     : std::string(clientName) + (inputs ? " Input " : " Output ") +
                                           std::to_string(defaultNumber++);
        MIDIUniqueID id;
        if (uniqueIDs && i < uniqueIDs->size()) {
            id = (*uniqueIDs)[i];
        } else {
            id = (inputs ? 2000000 : 2000001) + offset;
            offset += 2;
        }
        MIDIEndpointRef endpoint = 0;
        platform::MIDIStatusCode status;
        if (inputs) {
            auto reception = std::make_shared<MIDISysExReception>();
            std::weak_ptr<MIDI> weak = weak_from_this();
            status = service_->destinationCreate(
                client_, name,
                [weak, id, reception](std::span<const std::uint8_t> packetList) {
                    auto midi = weak.lock();
                    if (!midi) return;
                    for (const auto& event : MIDIEvent::events(packetList, *reception))
                        midi->handleMIDIMessage(event, id);
                },
                endpoint);
        } else {
            status = service_->sourceCreate(client_, name, endpoint);
        }
        list[i] = endpoint;
        if (status != platform::kMIDINoErr) {
            Log(LogSite(function, OSLog::midi(), LogType::error), "Error", status,
                std::string(inputs ? "Creating Virtual Input Port:" : "Creating Virtual Output Port:") +
                    "\n" + name + " --\n" + std::to_string(endpoint));
            CheckError(status);
            continue;
        }
        if (auto idStatus = service_->objectSetIntegerProperty(endpoint, platform::kMIDIPropertyUniqueID, id);
            idStatus != platform::kMIDINoErr) {
            Log(LogSite(function, OSLog::midi(), LogType::error), "Unique id", id, "could not be given to",
                name);
            CheckError(idStatus);
        }
    }
}

bool MIDI::destroyVirtualEndpoints(std::vector<MIDIEndpointRef>& list) {
    if (list.size() == 1 && list[0] == 0) return false;
    // Placeholders are no endpoints; what cannot be disposed of stays listed before a new placeholder.
    std::vector<MIDIEndpointRef> kept;
    for (auto endpoint : list)
        if (endpoint != 0 && service_->endpointDispose(endpoint) != platform::kMIDINoErr)
            kept.push_back(endpoint);
    const bool all = kept.empty();
    kept.push_back(0);
    list = std::move(kept);
    return all;
}

bool MIDI::destroyVirtualInputPort() {
    return destroyVirtualEndpoints(virtualInputs_);
}

bool MIDI::destroyVirtualOutputPort() {
    return destroyVirtualEndpoints(virtualOutputs_);
}

void MIDI::destroyAllVirtualPorts() {
    destroyVirtualEndpoints(virtualInputs_);
    destroyVirtualEndpoints(virtualOutputs_);
}

std::vector<MIDIUniqueID> MIDI::virtualInputUIDs() const {
    std::vector<MIDIUniqueID> ids;
    for (auto endpoint : virtualInputs_)
        if (auto id = uniqueID(endpoint); id != 0) ids.push_back(id);
    return ids;
}

std::vector<std::string> MIDI::virtualInputNames() const {
    std::vector<std::string> names;
    for (auto endpoint : virtualInputs_)
        if (auto text = name(endpoint); !text.empty()) names.push_back(std::move(text));
    return names;
}

std::vector<MIDIUniqueID> MIDI::virtualOutputUIDs() const {
    std::vector<MIDIUniqueID> ids;
    for (auto endpoint : virtualOutputs_)
        if (auto id = uniqueID(endpoint); id != 0) ids.push_back(id);
    return ids;
}

std::vector<std::string> MIDI::virtualOutputNames() const {
    std::vector<std::string> names;
    for (auto endpoint : virtualOutputs_)
        if (auto text = name(endpoint); !text.empty()) names.push_back(std::move(text));
    return names;
}

} // namespace rozezeru
