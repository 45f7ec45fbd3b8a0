#include "RozezEru/MIDI/MIDI.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/RozezEru/MIDI/ListenerRecorder.h"

#include "tests/support/Environment.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace rozezeru;
using miditest::Recorder;
using platform::LoopbackMIDIService;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct TwoClients {
    std::shared_ptr<LoopbackMIDIService> service = std::make_shared<LoopbackMIDIService>();
    std::shared_ptr<MIDI> a = MIDI::make(service);
    std::shared_ptr<MIDI> b = MIDI::make(service);
    std::shared_ptr<Recorder> heard = std::make_shared<Recorder>();
    TwoClients() { b->addListener(heard); }
};

} // namespace

TEST(MIDIClient, NoteFromOneClientsVirtualSourceReachesTheOthersListener) {
    TwoClients clients;
    clients.a->createVirtualOutputPorts(1);
    EXPECT_EQ(clients.a->virtualOutputUIDs(), std::vector<MIDIUniqueID>{2000001});
    EXPECT_TRUE(clients.a->inputUIDs().empty()); // its own source is left out
    ASSERT_EQ(clients.b->inputUIDs(), std::vector<MIDIUniqueID>{2000001});
    ASSERT_EQ(clients.b->inputNames(), std::vector<std::string>{"RozezEru Output 1"});
    clients.b->openInput(2000001);
    auto everything = MIDI::make(clients.service); // opens every input: port id 0
    auto heardByAll = std::make_shared<Recorder>();
    everything->addListener(heardByAll);
    everything->openInput();

    const auto source = clients.a->virtualOutputs()[0];
    clients.a->sendNoteOnMessage(60, 100, 2, 42, std::vector<MIDIUniqueID>{},
                                 std::vector<MIDIEndpointRef>{source});
    clients.a->sendMessage(Bytes{0xF0, 0x7E, 0x01, 0xF7, 0x80, 0x3C, 0x00}, 43, std::nullopt,
                           std::vector<MIDIEndpointRef>{source});
    EXPECT_EQ(clients.heard->calls(),
              (std::vector<std::string>{"on 60 100 2 @2000001 t42", "system [240, 126, 1, 247] @2000001 t43",
                                        "off 60 0 0 @2000001 t43"}));
    EXPECT_EQ(heardByAll->calls().at(0), "on 60 100 2 @0 t42");
}

TEST(MIDIClient, ListenersHearTheServicesNotifications) {
    TwoClients clients;
    clients.heard->hearsNotifications = true;
    clients.heard->hearsNotifications = true;
    const auto keyboard = clients.service->addExternalSource("Keyboard");
    clients.service->objectSetStringProperty(keyboard, platform::kMIDIPropertyName, "Piano");
    clients.service->removeExternalEndpoint(keyboard);
    EXPECT_EQ(clients.heard->calls(), (std::vector<std::string>{"notification 2", "setup", "property name",
                                                                "notification 3", "setup"}));
}

TEST(MIDIClient, DispatchCallsOneOperationPerMessage) {
    testsupport::ToolkitLogCapture capture;
    TwoClients clients;
    clients.b->addListener(clients.heard); // twice: called twice
    const std::pair<Bytes, std::string> cases[] = {
        {{0x93, 60, 0}, "on 60 0 3 @7"},
        {{0x80, 60, 5}, "off 60 5 0 @7"},
        {{0xA1, 60, 9}, "poly 60 9 1 @7"},
        {{0xB2, 7, 100}, "cc 7 100 2 @7"},
        {{0xC4, 5}, "program 5 4 @7"},
        {{0xD5, 6}, "pressure 6 5 @7"},
        {{0xE3, 0x00, 0x40}, "bend 8192 3 @7"},
        {{0xE3, 0x01}, "bend 0 3 @7"},
        {{0x90}, "on 0 0 0 @7"},
        {{0xF8}, "system [248] @7"},
        {{0xFF}, "system [255] @7"},
    };
    for (const auto& [bytes, call] : cases) {
        MIDIEvent event;
        event.data = bytes;
        clients.b->handleMIDIMessage(event, 7);
        EXPECT_EQ(clients.heard->calls().back(), call);
    }
    EXPECT_EQ(clients.heard->calls().size(), 2 * std::size(cases));
    clients.b->handleMIDIMessage(MIDIEvent(), 7);
    clients.b->handleMIDIMessage(MIDIEvent{0xF4}, 7);
    clients.b->removeListener(*clients.heard);
    clients.b->handleMIDIMessage(MIDIEvent{0xF8}, 7);
    EXPECT_EQ(clients.heard->calls().size(), 2 * std::size(cases));
    int noStatus = 0;
    for (const auto& record : capture.sink.records())
        noStatus += record.text.find("No usable status detected in handleMIDIMessage") != std::string::npos;
    EXPECT_EQ(noStatus, 4);
}

TEST(MIDIClient, EndpointListsAgreePositionForPosition) {
    TwoClients clients;
    const auto unnamed = clients.service->addExternalSource("");
    const auto keyboard = clients.service->addExternalSource("Keyboard");
    clients.service->objectSetIntegerProperty(unnamed, platform::kMIDIPropertyUniqueID, 0);
    clients.service->objectSetIntegerProperty(keyboard, platform::kMIDIPropertyUniqueID, 77);
    clients.service->addExternalDestination("Synth");
    EXPECT_EQ(clients.b->inputRefs(), (std::vector<MIDIEndpointRef>{unnamed, keyboard}));
    EXPECT_EQ(clients.b->inputUIDs(), (std::vector<MIDIUniqueID>{0, 77}));
    EXPECT_EQ(clients.b->inputNames(), (std::vector<std::string>{"", "Keyboard"}));
    EXPECT_EQ(clients.b->inputUID(1), 77);
    EXPECT_EQ(clients.b->inputUID(2), 0);
    EXPECT_EQ(clients.b->inputName(77), "Keyboard");
    EXPECT_EQ(clients.b->inputName(78), std::nullopt);
    EXPECT_EQ(clients.b->destinationNames(), std::vector<std::string>{"Synth"});
    EXPECT_EQ(clients.b->destinationName(77), "Unknown");
}

TEST(MIDIClient, VirtualPortsGetDistinctIdsAndGoAway) {
    testsupport::ToolkitLogCapture capture;
    TwoClients clients;
    auto& midi = *clients.a;
    midi.createVirtualPorts(0);
    EXPECT_EQ(midi.virtualInputs(), std::vector<MIDIEndpointRef>{0});
    midi.createVirtualPorts(2);
    midi.createVirtualInputPorts(1, std::nullopt, std::vector<std::string>{"x", "y", "Third"});
    EXPECT_EQ(midi.virtualInputUIDs(), (std::vector<MIDIUniqueID>{2000000, 2000002, 2000004}));
    EXPECT_EQ(midi.virtualInputNames(),
              (std::vector<std::string>{"RozezEru Input 1", "RozezEru Input 2", "Third"}));
    EXPECT_EQ(midi.virtualOutputUIDs(), (std::vector<MIDIUniqueID>{2000001, 2000003}));
    EXPECT_EQ(midi.virtualOutputs().back(), 0u);
    // The same ids again: the ports are made, the clash is reported.
    clients.b->createVirtualInputPorts(1);
    EXPECT_EQ(clients.b->virtualInputs().size(), 2u);
    ASSERT_EQ(clients.b->virtualInputUIDs().size(), 1u);
    EXPECT_NE(clients.b->virtualInputUIDs()[0], 2000000);
    bool clashLogged = false;
    for (const auto& record : capture.sink.records())
        clashLogged |= record.text.find("kMIDIIDNotUnique") != std::string::npos;
    EXPECT_TRUE(clashLogged);

    clients.service->failNext(LoopbackMIDIService::Operation::endpointDispose,
                              platform::kMIDIUnknownEndpoint);
    EXPECT_FALSE(midi.destroyVirtualInputPort());
    EXPECT_EQ(midi.virtualInputs().size(), 2u);
    EXPECT_TRUE(midi.destroyVirtualInputPort());
    EXPECT_EQ(midi.virtualInputs(), std::vector<MIDIEndpointRef>{0});
    EXPECT_FALSE(midi.destroyVirtualInputPort());
    midi.destroyAllVirtualPorts();
    EXPECT_EQ(midi.virtualOutputs(), std::vector<MIDIEndpointRef>{0});
    EXPECT_EQ(clients.service->numberOfSources(), 0u);
}

TEST(MIDIClient, InputsOpenOnceAndCloseWhateverTheServiceSays) {
    TwoClients clients;
    const auto keyboard = clients.service->addExternalSource("Keyboard");
    const auto pads = clients.service->addExternalSource("Pads");
    const auto note = platform::makePacketList(1, Bytes{0x90, 1, 2});
    auto& b = *clients.b;
    clients.service->failNext(LoopbackMIDIService::Operation::inputPortCreate, platform::kMIDIInvalidClient);
    b.openInput("Keyboard");
    EXPECT_TRUE(b.inputPorts().empty());
    b.openInput("Keyboard");
    b.openInput("Keyboard");
    b.openInput("Nothing");
    EXPECT_EQ(b.inputPorts().size(), 1u);
    clients.service->emit(keyboard, note);
    EXPECT_EQ(clients.heard->calls().size(), 1u);
    b.openInput("");
    EXPECT_EQ(b.inputPorts().size(), 2u);
    clients.service->failNext(LoopbackMIDIService::Operation::portDisconnectSource,
                              platform::kMIDINoConnection);
    b.closeInput();
    EXPECT_TRUE(b.inputPorts().empty());
    EXPECT_TRUE(b.endpoints().empty());
    clients.service->emit(pads, note);
    EXPECT_EQ(clients.heard->calls().size(), 1u);
    b.openInputAt(1);
    EXPECT_EQ(b.endpoints().begin()->second, pads);
    b.closeInputAt(5);
    EXPECT_EQ(b.inputPorts().size(), 1u);
    b.closeAllInputs();
    EXPECT_TRUE(b.inputPorts().empty());
}

TEST(MIDIClient, OutputsOpenOnlyWhatIsNamed) {
    TwoClients clients;
    const auto synth = clients.service->addExternalDestination("Synth");
    const auto drums = clients.service->addExternalDestination("Drums");
    auto& a = *clients.a;
    a.openOutput("Synht");
    EXPECT_TRUE(a.outputEndpoints().empty());
    a.openOutputAt(-1);
    EXPECT_TRUE(a.outputEndpoints().empty());
    a.openOutput();
    EXPECT_EQ(a.outputEndpoints().size(), 2u);
    a.sendMessage(Bytes{0xF8}, 9, std::vector<MIDIUniqueID>{a.destinationUID(0)});
    EXPECT_EQ(clients.service->packetListsReceived(synth).size(), 1u);
    EXPECT_TRUE(clients.service->packetListsReceived(drums).empty());
    a.sendControllerMessage(7, 100, 15);
    EXPECT_EQ(MIDIEvent::events(clients.service->packetListsReceived(drums).at(0)).at(0).data,
              (Bytes{0xBF, 7, 100}));
    a.closeOutput("Synth");
    EXPECT_NE(a.outputPort(), 0u);
    a.closeOutput(a.destinationUID(1));
    EXPECT_EQ(a.outputPort(), 0u);
}

TEST(MIDIClient, SharedInstanceIsMadeOnceAndCanBeReplaced) {
    testsupport::ScopedEnvironment loopback(platform::midiServiceEnvironmentVariable, "loopback");
    auto first = MIDI::shared();
    EXPECT_EQ(MIDI::shared(), first);
    auto other = MIDI::make(std::make_shared<LoopbackMIDIService>());
    MIDI::setShared(other);
    EXPECT_EQ(MIDI::shared(), other);
    MIDI::setShared(first);
}
