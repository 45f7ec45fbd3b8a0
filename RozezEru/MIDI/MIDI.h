#pragma once
// The toolkit's MIDI client: one client of the platform MIDI service with its input ports, output port,
// virtual endpoints and open endpoints, the listeners that receive every incoming message and the
// transformers that may rewrite it. One instance is shared by the toolkit; others can be made. Opening,
// closing, sending and the virtual ports run on the caller's thread (one at a time per object); input
// reaches the listeners on the service's delivery thread; listener and transformer lists may be changed
// from any thread meanwhile.

#include "RozezEru/MIDI/EndpointInfo.h"
#include "RozezEru/MIDI/Listeners/MIDIListener.h"
#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDITransformer.h"
#include "RozezEru/MIDI/SnapshotList.h"
#include "platform/midi/DefaultMIDIService.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rozezeru {

using platform::MIDIClientRef;
using platform::MIDIEndpointRef;
using platform::MIDIPortRef;

class MIDI : public std::enable_shared_from_this<MIDI> {
public:
    static constexpr std::string_view clientName = "RozezEru";
    static constexpr std::string_view inputPortName = "MIDI In Port";

    // Makes the object and its platform client on `service`. A failure to make the client is logged and
    // the object stays usable.
    static std::shared_ptr<MIDI>
    make(std::shared_ptr<platform::MIDIService> service = platform::defaultMIDIService());
    // The shared instance, made on first use (once, also when threads race for it); replaceable.
    static std::shared_ptr<MIDI> shared();
    static void setShared(std::shared_ptr<MIDI> midi);

    // Releases the object only: the client, ports and virtual endpoints stay with the service.
    ~MIDI();
    MIDI(const MIDI&) = delete;
    MIDI& operator=(const MIDI&) = delete;

    platform::MIDIService& service() const { return *service_; }
    MIDIClientRef client() const { return client_; }
    // The input ports opened, by the unique id of the source each listens to.
    const std::map<MIDIUniqueID, MIDIPortRef>& inputPorts() const { return inputPorts_; }
    // The client's own destinations and sources; a trailing 0 is a placeholder, [0] means none.
    const std::vector<MIDIEndpointRef>& virtualInputs() const { return virtualInputs_; }
    const std::vector<MIDIEndpointRef>& virtualOutputs() const { return virtualOutputs_; }
    MIDIPortRef outputPort() const { return outputPort_; }
    const std::string& outputPortName() const { return outputPortName_; }
    void setOutputPortName(std::string name) { outputPortName_ = std::move(name); }
    // The sources open for input, by unique id.
    const std::map<MIDIUniqueID, MIDIEndpointRef>& endpoints() const { return endpoints_; }
    // The destinations open for output, by unique id.
    const std::map<MIDIUniqueID, MIDIEndpointRef>& outputEndpoints() const { return outputEndpoints_; }

    // Listeners are called in the order they were added; one added twice is called twice.
    void addListener(std::shared_ptr<MIDIListener> listener);
    // Removes every entry that is this listener.
    void removeListener(const MIDIListener& listener);
    void clearListeners();
    SnapshotList<std::shared_ptr<MIDIListener>>::Snapshot listeners() const { return listeners_.snapshot(); }
    void addTransformer(std::shared_ptr<MIDITransformer> transformer);
    void removeTransformer(const MIDITransformer& transformer);
    void clearTransformers();
    SnapshotList<std::shared_ptr<MIDITransformer>>::Snapshot transformers() const {
        return transformers_.snapshot();
    }

    // The platform's sources without the client's own virtual outputs, read afresh on every call. The three
    // lists are one list: the same positions name the same source.
    std::vector<MIDIUniqueID> inputUIDs() const;
    std::vector<std::string> inputNames() const;
    std::vector<MIDIEndpointRef> inputRefs() const;
    std::optional<std::string> inputName(MIDIUniqueID uid) const;
    // The unique id at a position of inputRefs(); 0 past its end.
    MIDIUniqueID inputUID(int position) const;
    // The same for destinations, without the client's own virtual inputs.
    std::vector<MIDIUniqueID> destinationUIDs() const;
    std::vector<std::string> destinationNames() const;
    std::vector<MIDIEndpointRef> destinationRefs() const;
    // "Unknown" when there is none.
    std::string destinationName(MIDIUniqueID uid) const;
    MIDIUniqueID destinationUID(int position) const;

    // Input. uid 0 opens every source, each on a port of its own whose messages report port id 0.
    void openInput(MIDIUniqueID uid = 0);
    // The source of that name; an empty name no source has opens every source under its own id.
    void openInput(std::string_view name);
    void openInputAt(int index);
    // uid 0 closes every open input.
    void closeInput(MIDIUniqueID uid = 0);
    void closeInput(std::string_view name);
    void closeInputAt(int index);
    void closeAllInputs();
    // Hands one event to every listener; called on the delivery thread.
    void handleMIDIMessage(const MIDIEvent& event, MIDIUniqueID fromInput);

    // Output. uid 0 opens every destination.
    void openOutput(MIDIUniqueID uid = 0);
    // An unknown name opens nothing.
    void openOutput(std::string_view name);
    void openOutputAt(int index);
    void closeOutput(MIDIUniqueID uid);
    void closeOutput(std::string_view name);
    void closeOutputAt(int index);
    // Forgets every open destination; the output port stays.
    void closeAllOutputs();
    // Sends to the given open destinations (all of them when nothing is given) and, when given, as coming
    // from the given virtual outputs. A message too long for one packet goes in several.
    void sendMessage(std::span<const std::uint8_t> data, MIDITimeStamp time,
                     const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs = std::nullopt,
                     const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts = std::nullopt);
    // With the current host time.
    void sendEvent(const MIDIEvent& event,
                   const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs = std::nullopt,
                   const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts = std::nullopt);
    void
    sendNoteOnMessage(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                      MIDITimeStamp time,
                      const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs = std::nullopt,
                      const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts = std::nullopt);
    void
    sendNoteOffMessage(std::uint8_t noteNumber, std::uint8_t channel, MIDITimeStamp time,
                       const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs = std::nullopt,
                       const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts = std::nullopt);
    void sendControllerMessage(
        std::uint8_t control, std::uint8_t value, std::uint8_t channel,
        const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs = std::nullopt,
        const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts = std::nullopt);
    // Least significant 7 bits first; bits above 13 are dropped.
    void sendPitchBendMessage(
        std::uint16_t value, std::uint8_t channel,
        const std::optional<std::vector<MIDIUniqueID>>& endpointsUIDs = std::nullopt,
        const std::optional<std::vector<MIDIEndpointRef>>& virtualOutputPorts = std::nullopt);

    // Virtual ports: destinations others send to (dispatched like any input, with the port's unique id)
    // and sources we send from. Names and ids not given are the defaults: "RozezEru Input 1", ...; ids
    // 2000000, 2000002, ... for inputs and 2000001, 2000003, ... for outputs, never reused by a later call.
    void createVirtualPorts(int count,
                            const std::optional<std::vector<MIDIUniqueID>>& inputPortIDs = std::nullopt,
                            const std::optional<std::vector<MIDIUniqueID>>& outputPortIDs = std::nullopt,
                            const std::optional<std::vector<std::string>>& inputPortNames = std::nullopt,
                            const std::optional<std::vector<std::string>>& outputPortNames = std::nullopt);
    void createVirtualInputPorts(int count,
                                 const std::optional<std::vector<MIDIUniqueID>>& uniqueIDs = std::nullopt,
                                 const std::optional<std::vector<std::string>>& names = std::nullopt);
    void createVirtualOutputPorts(int count,
                                  const std::optional<std::vector<MIDIUniqueID>>& uniqueIDs = std::nullopt,
                                  const std::optional<std::vector<std::string>>& names = std::nullopt);
    // True when every virtual input was disposed of; those that could not be stay listed.
    bool destroyVirtualInputPort();
    bool destroyVirtualOutputPort();
    void destroyAllVirtualPorts();
    std::vector<MIDIUniqueID> virtualInputUIDs() const;
    std::vector<std::string> virtualInputNames() const;
    std::vector<MIDIUniqueID> virtualOutputUIDs() const;
    std::vector<std::string> virtualOutputNames() const;

    // Endpoint descriptions, read afresh on every call: every destination (our virtual inputs too), every
    // source, and our virtual inputs and outputs with the trailing placeholder.
    std::vector<EndpointInfo> destinationInfos() const;
    std::vector<EndpointInfo> inputInfos() const;
    std::vector<EndpointInfo> virtualInputInfos() const;
    std::vector<EndpointInfo> virtualOutputInfos() const;

private:
    explicit MIDI(std::shared_ptr<platform::MIDIService> service);
    void createClient();
    void notify(const platform::MIDINotification& notification);
    void receive(const platform::MIDIEventList& eventList, MIDIUniqueID portID,
                 MIDISysExReception& reception);
    MIDIUniqueID uniqueID(MIDIEndpointRef endpoint) const;
    std::string name(MIDIEndpointRef endpoint) const;
    std::vector<MIDIEndpointRef> endpointRefs(bool sources) const;
    bool ensureOutputPort();
    void createVirtualEndpoints(bool inputs, int count,
                                const std::optional<std::vector<MIDIUniqueID>>& uniqueIDs,
                                const std::optional<std::vector<std::string>>& names, const char* function);
    bool destroyVirtualEndpoints(std::vector<MIDIEndpointRef>& list);

    std::shared_ptr<platform::MIDIService> service_;
    MIDIClientRef client_ = 0;
    std::map<MIDIUniqueID, MIDIPortRef> inputPorts_;
    std::vector<MIDIEndpointRef> virtualInputs_{0};
    MIDIPortRef outputPort_ = 0;
    std::vector<MIDIEndpointRef> virtualOutputs_{0};
    std::string outputPortName_ = "MIDI Out Port";
    std::map<MIDIUniqueID, MIDIEndpointRef> endpoints_;
    std::map<MIDIUniqueID, MIDIEndpointRef> outputEndpoints_;
    SnapshotList<std::shared_ptr<MIDIListener>> listeners_;
    SnapshotList<std::shared_ptr<MIDITransformer>> transformers_;
};

} // namespace rozezeru
