#include "RozezEru/MIDI/EndpointInfo.h"
#include "RozezEru/MIDI/MIDI.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/RozezEru/MIDI/ListenerRecorder.h"

#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <unordered_set>

using namespace rozezeru;
using miditest::Recorder;
using platform::LoopbackMIDIService;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Loop {
    std::shared_ptr<LoopbackMIDIService> service = std::make_shared<LoopbackMIDIService>();
    std::shared_ptr<MIDI> sender = MIDI::make(service);
    std::shared_ptr<MIDI> receiver = MIDI::make(service);
    std::shared_ptr<Recorder> heard = std::make_shared<Recorder>();
    Loop() { receiver->addListener(heard); }
};

// Sends fragments from two sources alternately: each source's sysex must come out whole and unmixed.
const std::vector<Bytes> firstHalves = {{0xF0, 0x01, 0x02}, {0xF0, 0x11}};
const std::vector<Bytes> secondHalves = {{0x03, 0xF7}, {0x12, 0x13, 0xF7}};

} // namespace

TEST(MIDIInputOutput, EveryStatusReachesItsOperationOnBothInputPaths) {
    const std::pair<Bytes, std::string> table[] = {
        {{0x81, 60, 5}, "off 60 5 1"},
        {{0x92, 61, 100}, "on 61 100 2"},
        {{0x93, 62, 0}, "on 62 0 3"},
        {{0xA4, 63, 9}, "poly 63 9 4"},
        {{0xB5, 7, 127}, "cc 7 127 5"},
        {{0xC6, 8}, "program 8 6"},
        {{0xD7, 10}, "pressure 10 7"},
        {{0xEF, 0x7F, 0x7F}, "bend 16383 15"},
        {{0xF1, 0x12}, "system [241, 18]"},
        {{0xF2, 0x01, 0x02}, "system [242, 1, 2]"},
        {{0xF3, 4}, "system [243, 4]"},
        {{0xF6}, "system [246]"},
        {{0xF8}, "system [248]"},
        {{0xFA}, "system [250]"},
        {{0xFB}, "system [251]"},
        {{0xFC}, "system [252]"},
        {{0xFE}, "system [254]"},
        {{0xF0, 0x7E, 0xF7}, "system [240, 126, 247]"},
        {{0xF4}, ""},
        {{0xF5}, ""},
        {{0xF9}, ""},
        {{0xFD}, ""},
    };
    // Packet lists into a virtual input, and universal packets into an input port from an outside source.
    Loop loop;
    loop.receiver->createVirtualInputPorts(1);
    loop.sender->openOutput(2000000);
    const auto keyboard = loop.service->addExternalSource("Keyboard");
    loop.receiver->openInput("Keyboard");
    const auto keyboardID = loop.receiver->inputUID(0);
    for (const auto& [bytes, call] : table) {
        const auto before = loop.heard->calls().size();
        loop.sender->sendMessage(bytes, 5);
        loop.service->emit(keyboard, platform::makePacketList(6, bytes));
        const auto calls = loop.heard->calls();
        if (call.empty()) {
            EXPECT_EQ(calls.size(), before) << calls.back();
            continue;
        }
        ASSERT_EQ(calls.size(), before + 2) << call;
        EXPECT_EQ(calls[before], call + " @2000000 t5");
        EXPECT_EQ(calls[before + 1], call + " @" + std::to_string(keyboardID) + " t6");
    }
}

TEST(MIDIInputOutput, InterleavedSystemExclusiveFromTwoSourcesStaysApart) {
    // Packet-list path: two virtual inputs, each with its own assembly.
    Loop lists;
    lists.receiver->createVirtualInputPorts(2);
    lists.sender->openOutput();
    for (const auto* halves : {&firstHalves, &secondHalves})
        for (int source = 0; source < 2; ++source)
            lists.sender->sendMessage((*halves)[source], 1, std::vector<MIDIUniqueID>{2000000 + 2 * source});
    // Universal-packet path: two outside sources on input ports.
    Loop ump;
    const platform::MIDIEndpointRef sources[] = {ump.service->addExternalSource("A"),
                                                 ump.service->addExternalSource("B")};
    ump.receiver->openInput("");
    for (const auto* halves : {&firstHalves, &secondHalves})
        for (int source = 0; source < 2; ++source)
            ump.service->emit(sources[source], platform::makePacketList(1, (*halves)[source]));
    const std::vector<std::string> whole = {"system [240, 1, 2, 3, 247]", "system [240, 17, 18, 19, 247]"};
    for (auto* loop : {&lists, &ump}) {
        auto calls = loop->heard->calls();
        ASSERT_EQ(calls.size(), 2u);
        for (std::size_t i = 0; i < 2; ++i)
            EXPECT_EQ(calls[i].substr(0, whole[i].size()), whole[i]);
    }
}

TEST(MIDIInputOutput, SendersPutExactBytesOnTheWire) {
    Loop loop;
    const auto synth = loop.service->addExternalDestination("Synth");
    loop.sender->openOutput("Synth");
    loop.sender->createVirtualOutputPorts(1);
    const auto own = loop.sender->virtualOutputs()[0];
    loop.receiver->openInput(2000001);
    MIDIEvent tuneRequest;
    tuneRequest.data = {0xF6};
    const std::vector<std::pair<std::function<void()>, Bytes>> table = {
        {[&] { loop.sender->sendNoteOnMessage(60, 100, 1, 3, std::nullopt, {{own}}); }, {0x91, 60, 100}},
        {[&] { loop.sender->sendNoteOffMessage(60, 2, 3, std::nullopt, {{own}}); }, {0x82, 0x3C, 0x00}},
        {[&] { loop.sender->sendControllerMessage(7, 100, 15, std::nullopt, {{own}}); }, {0xBF, 0x07, 0x64}},
        {[&] { loop.sender->sendPitchBendMessage(8192, 0, std::nullopt, {{own}}); }, {0xE0, 0x00, 0x40}},
        {[&] { loop.sender->sendPitchBendMessage(16383, 0, std::nullopt, {{own}}); }, {0xE0, 0x7F, 0x7F}},
        {[&] { loop.sender->sendPitchBendMessage(16384 + 5, 0, std::nullopt, {{own}}); }, {0xE0, 0x05, 0x00}},
        {[&] { loop.sender->sendEvent(tuneRequest, std::nullopt, {{own}}); }, {0xF6}},
    };
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i].first();
        const auto lists = loop.service->packetListsReceived(synth);
        ASSERT_EQ(lists.size(), i + 1);
        const auto events = MIDIEvent::events(lists.back());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].data, table[i].second) << i;
    }
    // The virtual source carried the same messages.
    EXPECT_EQ(loop.heard->calls().size(), table.size());
    // No destination asked for: only the virtual source sends.
    loop.sender->sendNoteOnMessage(1, 1, 0, 0, std::vector<MIDIUniqueID>{}, {{own}});
    EXPECT_EQ(loop.service->packetListsReceived(synth).size(), table.size());
    EXPECT_EQ(loop.heard->calls().size(), table.size() + 1);
}

TEST(MIDIInputOutput, MessagesBeyondOnePacketBufferArriveWhole) {
    Loop loop;
    const auto synth = loop.service->addExternalDestination("Synth");
    loop.sender->openOutput();
    for (std::size_t size : {1010u, 1011u, 65535u, 65536u}) {
        Bytes bulk(size, 0x33);
        bulk.front() = 0xF0;
        bulk.back() = 0xF7;
        loop.sender->sendMessage(bulk, 1);
        const auto events = MIDIEvent::events(loop.service->packetListsReceived(synth).back());
        ASSERT_EQ(events.size(), 1u) << size;
        EXPECT_EQ(events[0].data, bulk) << size;
    }
}

TEST(MIDIInputOutput, VirtualPortsMadeAgainGetFreshIds) {
    Loop loop;
    auto& midi = *loop.sender;
    midi.createVirtualPorts(2);
    midi.createVirtualPorts(2);
    EXPECT_EQ(midi.virtualInputUIDs(), (std::vector<MIDIUniqueID>{2000000, 2000002, 2000004, 2000006}));
    EXPECT_EQ(midi.virtualOutputUIDs(), (std::vector<MIDIUniqueID>{2000001, 2000003, 2000005, 2000007}));
    midi.destroyAllVirtualPorts();
    midi.createVirtualPorts(1);
    EXPECT_EQ(midi.virtualInputUIDs(), std::vector<MIDIUniqueID>{2000000});
}

TEST(EndpointInfo, DescribesEndpointsAndComesBackFromJSON) {
    Loop loop;
    auto& midi = *loop.receiver;
    EXPECT_TRUE(midi.destinationInfos().empty());
    ASSERT_EQ(midi.virtualInputInfos().size(), 1u);
    EXPECT_EQ(midi.virtualInputInfos()[0], EndpointInfo{});
    const auto synth = loop.service->addExternalDestination("Synth");
    loop.service->objectSetStringProperty(synth, platform::kMIDIPropertyManufacturer, "Fennora");
    loop.service->objectSetIntegerProperty(synth, platform::kMIDIPropertyUniqueID, -12);
    midi.createVirtualPorts(1);
    const auto destinations = midi.destinationInfos();
    ASSERT_EQ(destinations.size(), 2u); // our own virtual input is a destination too
    EXPECT_EQ(destinations[0].name, "Synth");
    EXPECT_EQ(destinations[0].manufacturer, "Fennora");
    EXPECT_EQ(destinations[0].midiEndpointRef, synth);
    EXPECT_EQ(midi.virtualOutputInfos().size(), 2u);
    EXPECT_EQ(midi.inputInfos().at(0).midiUniqueID, 2000001);

    auto info = destinations[0];
    for (auto port :
         {std::optional<platform::MIDIPortRef>{}, std::optional<platform::MIDIPortRef>{4000000000u}}) {
        info.midiPortRef = port;
        const auto back = EndpointInfo::fromJSON(info.json());
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, info);
        EXPECT_EQ(back->midiEndpointRef, info.midiEndpointRef);
        EXPECT_EQ(back->midiPortRef, port);
    }
    // Equal by fields, not by hash; the handle takes no part.
    auto moved = info;
    moved.midiEndpointRef += 1;
    auto renamed = info;
    renamed.image = "x";
    EXPECT_EQ(moved, info);
    EXPECT_EQ(std::hash<EndpointInfo>{}(moved), std::hash<EndpointInfo>{}(info));
    EXPECT_FALSE(renamed == info);
    EXPECT_EQ((std::unordered_set<EndpointInfo>{info, moved, renamed}.size()), 2u);

    std::string error;
    const std::pair<std::string, std::string> bad[] = {
        {R"({"name":"","displayName":"","model":"","manufacturer":"","image":"","midiUniqueID":1,"midiEndpointRef":2})",
         "\"driverOwner\""},
        {R"({"name":"","displayName":"","model":"","manufacturer":"","image":"","driverOwner":"","midiUniqueID":"1","midiEndpointRef":2})",
         "\"midiUniqueID\""},
        {R"({"name":"","displayName":"","model":"","manufacturer":"","image":"","driverOwner":"","midiUniqueID":1,"midiEndpointRef":-2})",
         "\"midiEndpointRef\""},
        {"[1,", "not JSON"},
    };
    for (const auto& [text, reason] : bad) {
        EXPECT_FALSE(EndpointInfo::fromJSON(text, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    // The same keys through the keyed coder of stored records.
    platform::PlistDictionary dictionary;
    platform::KeyedEncoder encoder(dictionary);
    info.encode(encoder);
    EXPECT_EQ(EndpointInfo::decode(platform::KeyedDecoder(dictionary)), info);
}

TEST(MIDIInputOutput, ListenersChangeWhileAHundredThousandEventsArrive) {
    struct Counter : MIDIListener {
        std::atomic<int> notes{0};
        void receivedMIDINoteOn(std::uint8_t, std::uint8_t, std::uint8_t, PortID, EventTime) override {
            ++notes;
        }
    };
    auto service = std::make_shared<LoopbackMIDIService>(LoopbackMIDIService::Delivery::threaded);
    auto midi = MIDI::make(service);
    auto steady = std::make_shared<Counter>();
    midi->addListener(steady);
    const auto keyboard = service->addExternalSource("Keyboard");
    midi->openInput();
    constexpr int events = 100000, perList = 100;
    Bytes notes;
    for (int n = 0; n < perList; ++n)
        notes.insert(notes.end(), {0x90, static_cast<std::uint8_t>(n), 1});
    for (int i = 0; i < events; i += perList)
        service->emit(keyboard, platform::makePacketList(0, notes));
    // The service's own thread delivers while this thread keeps changing both lists.
    int rounds = 0;
    const bool allArrived = testsupport::waitUntil(
        [&] {
            for (int i = 0; i < 20; ++i, ++rounds) {
                auto passing = std::make_shared<Counter>();
                midi->addListener(passing);
                midi->addTransformer(std::make_shared<MIDITransformer>());
                midi->removeListener(*passing);
                midi->clearTransformers();
            }
            return steady->notes == events;
        },
        std::chrono::seconds(60));
    EXPECT_TRUE(allArrived) << steady->notes << " of " << events << " after " << rounds << " rounds";
    service->waitUntilIdle();
    EXPECT_EQ(steady->notes, events);
}
