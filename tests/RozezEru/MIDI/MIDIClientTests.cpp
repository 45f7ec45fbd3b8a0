#include "RozezEru/MIDI/MIDI.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/RozezEru/MIDI/ListenerRecorder.h"

#include "tests/support/Environment.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace rozezeru;
using miditest::Loop;
using miditest::Recorder;
using platform::LoopbackMIDIService;

namespace {

using Bytes = std::vector<std::uint8_t>;

} // namespace

TEST(MIDIClient, NoteFromOneClientsVirtualSourceReachesTheOthersListener) {
    Loop loop;
    loop.sender->createVirtualOutputPorts(1);
    EXPECT_EQ(loop.sender->virtualOutputUIDs(), std::vector<MIDIUniqueID>{2000001});
    EXPECT_TRUE(loop.sender->inputUIDs().empty()); // its own source is left out
    ASSERT_EQ(loop.receiver->inputUIDs(), std::vector<MIDIUniqueID>{2000001});
    ASSERT_EQ(loop.receiver->inputNames(), std::vector<std::string>{"RozezEru Output 1"});
    loop.receiver->openInput(2000001);
    auto everything = MIDI::make(loop.service); // opens every input: port id 0
    auto heardByAll = std::make_shared<Recorder>();
    everything->addListener(heardByAll);
    everything->openInput();

    const auto source = loop.sender->virtualOutputs()[0];
    loop.sender->sendNoteOnMessage(60, 100, 2, 42, std::vector<MIDIUniqueID>{},
                                   std::vector<MIDIEndpointRef>{source});
    loop.sender->sendMessage(Bytes{0xF0, 0x7E, 0x01, 0xF7, 0x80, 0x3C, 0x00}, 43, std::nullopt,
                             std::vector<MIDIEndpointRef>{source});
    EXPECT_EQ(loop.heard->calls(),
              (std::vector<std::string>{"on 60 100 2 @2000001 t42", "system [240, 126, 1, 247] @2000001 t43",
                                        "off 60 0 0 @2000001 t43"}));
    EXPECT_EQ(heardByAll->calls().at(0), "on 60 100 2 @0 t42");
}

TEST(MIDIClient, ListenersHearTheServicesNotifications) {
    Loop loop;
    loop.heard->hearsNotifications = true;
    const auto keyboard = loop.service->addExternalSource("Keyboard");
    loop.service->objectSetStringProperty(keyboard, platform::kMIDIPropertyName, "Piano");
    loop.service->removeExternalEndpoint(keyboard);
    EXPECT_EQ(loop.heard->calls(), (std::vector<std::string>{"notification 2", "setup", "property name",
                                                             "notification 3", "setup"}));
}

TEST(MIDIClient, DispatchCallsOneOperationPerMessage) {
    testsupport::ToolkitLogCapture capture;
    Loop loop;
    loop.receiver->addListener(loop.heard); // twice: called twice
    // What each whole message calls is the input tests' (both input paths); here the cut ones.
    const std::pair<Bytes, std::string> cases[] = {
        {{0xE3, 0x01}, "bend 0 3 @7"},
        {{0x90}, "on 0 0 0 @7"},
        {{0xFF}, "system [255] @7"},
    };
    for (const auto& [bytes, call] : cases) {
        MIDIEvent event;
        event.data = bytes;
        loop.receiver->handleMIDIMessage(event, 7);
        EXPECT_EQ(loop.heard->calls().back(), call);
    }
    EXPECT_EQ(loop.heard->calls().size(), 2 * std::size(cases));
    loop.receiver->handleMIDIMessage(MIDIEvent(), 7);
    loop.receiver->handleMIDIMessage(MIDIEvent{0xF4}, 7);
    loop.receiver->removeListener(*loop.heard);
    loop.receiver->handleMIDIMessage(MIDIEvent{0xF8}, 7);
    EXPECT_EQ(loop.heard->calls().size(), 2 * std::size(cases));
    int noStatus = 0;
    for (const auto& record : capture.sink.records())
        noStatus += record.text.find("No usable status detected in handleMIDIMessage") != std::string::npos;
    EXPECT_EQ(noStatus, 4);
}

TEST(MIDIClient, EndpointListsAgreePositionForPosition) {
    Loop loop;
    const auto unnamed = loop.service->addExternalSource("");
    const auto keyboard = loop.service->addExternalSource("Keyboard");
    loop.service->objectSetIntegerProperty(unnamed, platform::kMIDIPropertyUniqueID, 0);
    loop.service->objectSetIntegerProperty(keyboard, platform::kMIDIPropertyUniqueID, 77);
    loop.service->addExternalDestination("Synth");
    EXPECT_EQ(loop.receiver->inputRefs(), (std::vector<MIDIEndpointRef>{unnamed, keyboard}));
    EXPECT_EQ(loop.receiver->inputUIDs(), (std::vector<MIDIUniqueID>{0, 77}));
    EXPECT_EQ(loop.receiver->inputNames(), (std::vector<std::string>{"", "Keyboard"}));
    EXPECT_EQ(std::pair(loop.receiver->inputUID(1), loop.receiver->inputUID(2)), std::pair(77, 0));
    EXPECT_EQ(loop.receiver->inputName(77), "Keyboard");
    EXPECT_EQ(loop.receiver->inputName(78), std::nullopt);
    EXPECT_EQ(loop.receiver->destinationNames(), std::vector<std::string>{"Synth"});
    EXPECT_EQ(loop.receiver->destinationName(77), "Unknown");
}

TEST(MIDIClient, VirtualPortsGetDistinctIdsAndGoAway) {
    testsupport::ToolkitLogCapture capture;
    Loop loop;
    auto& midi = *loop.sender;
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
    loop.receiver->createVirtualInputPorts(1);
    EXPECT_EQ(loop.receiver->virtualInputs().size(), 2u);
    ASSERT_EQ(loop.receiver->virtualInputUIDs().size(), 1u);
    EXPECT_NE(loop.receiver->virtualInputUIDs()[0], 2000000);
    bool clashLogged = false;
    for (const auto& record : capture.sink.records())
        clashLogged |= record.text.find("kMIDIIDNotUnique") != std::string::npos;
    EXPECT_TRUE(clashLogged);

    loop.service->failNext(LoopbackMIDIService::Operation::endpointDispose, platform::kMIDIUnknownEndpoint);
    EXPECT_FALSE(midi.destroyVirtualInputPort());
    EXPECT_EQ(midi.virtualInputs().size(), 2u);
    EXPECT_TRUE(midi.destroyVirtualInputPort());
    EXPECT_EQ(midi.virtualInputs(), std::vector<MIDIEndpointRef>{0});
    EXPECT_FALSE(midi.destroyVirtualInputPort());
    midi.destroyAllVirtualPorts();
    EXPECT_EQ(midi.virtualOutputs(), std::vector<MIDIEndpointRef>{0});
    EXPECT_EQ(loop.service->numberOfSources(), 0u);
}

TEST(MIDIClient, InputsOpenOnceAndCloseWhateverTheServiceSays) {
    Loop loop;
    const auto keyboard = loop.service->addExternalSource("Keyboard");
    const auto pads = loop.service->addExternalSource("Pads");
    const auto note = platform::makePacketList(1, Bytes{0x90, 1, 2});
    auto& b = *loop.receiver;
    loop.service->failNext(LoopbackMIDIService::Operation::inputPortCreate, platform::kMIDIInvalidClient);
    b.openInput("Keyboard");
    EXPECT_TRUE(b.inputPorts().empty());
    b.openInput("Keyboard");
    b.openInput("Keyboard");
    b.openInput("Nothing");
    EXPECT_EQ(b.inputPorts().size(), 1u);
    loop.service->emit(keyboard, note);
    EXPECT_EQ(loop.heard->calls().size(), 1u);
    b.openInput("");
    EXPECT_EQ(b.inputPorts().size(), 2u);
    loop.service->failNext(LoopbackMIDIService::Operation::portDisconnectSource, platform::kMIDINoConnection);
    b.closeInput();
    EXPECT_EQ(std::pair(b.inputPorts().empty(), b.endpoints().empty()), std::pair(true, true));
    loop.service->emit(pads, note);
    EXPECT_EQ(loop.heard->calls().size(), 1u);
    b.openInputAt(1);
    EXPECT_EQ(b.endpoints().begin()->second, pads);
    b.closeInputAt(5);
    EXPECT_EQ(b.inputPorts().size(), 1u);
    b.closeAllInputs();
    EXPECT_TRUE(b.inputPorts().empty());
}

TEST(MIDIClient, OutputsOpenOnlyWhatIsNamed) {
    Loop loop;
    const auto synth = loop.service->addExternalDestination("Synth");
    const auto drums = loop.service->addExternalDestination("Drums");
    auto& a = *loop.sender;
    a.openOutput("Synht");
    EXPECT_TRUE(a.outputEndpoints().empty());
    a.openOutputAt(-1);
    EXPECT_TRUE(a.outputEndpoints().empty());
    a.openOutput();
    EXPECT_EQ(a.outputEndpoints().size(), 2u);
    a.sendMessage(Bytes{0xF8}, 9, std::vector<MIDIUniqueID>{a.destinationUID(0)});
    EXPECT_EQ(loop.service->packetListsReceived(synth).size(), 1u);
    EXPECT_TRUE(loop.service->packetListsReceived(drums).empty());
    a.sendControllerMessage(7, 100, 15);
    EXPECT_EQ(MIDIEvent::events(loop.service->packetListsReceived(drums).at(0)).at(0).data,
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
