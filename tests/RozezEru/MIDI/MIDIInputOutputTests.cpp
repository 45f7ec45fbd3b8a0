#include "RozezEru/MIDI/EndpointInfo.h"
#include "RozezEru/MIDI/MIDI.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/RozezEru/MIDI/ListenerRecorder.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <unordered_set>

using namespace rozezeru;
using miditest::Loop;
using platform::LoopbackMIDIService;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes sysex(std::size_t size) {
    Bytes bytes(size, 0x33);
    bytes.front() = 0xF0;
    bytes.back() = 0xF7;
    return bytes;
}

} // namespace

TEST(MIDIInputOutput, EveryStatusReachesItsOperationOnBothInputPaths) {
    // clang-format off
    const std::pair<Bytes, std::string> table[] = {
        {{0x81, 60, 5}, "off 60 5 1"}, {{0x92, 61, 100}, "on 61 100 2"}, {{0x93, 62, 0}, "on 62 0 3"},
        {{0xA4, 63, 9}, "poly 63 9 4"}, {{0xB5, 7, 127}, "cc 7 127 5"}, {{0xC6, 8}, "program 8 6"},
        {{0xD7, 10}, "pressure 10 7"}, {{0xEF, 0x7F, 0x7F}, "bend 16383 15"}, {{0xF1, 18}, "system [241, 18]"},
        {{0xF2, 1, 2}, "system [242, 1, 2]"}, {{0xF3, 4}, "system [243, 4]"}, {{0xF6}, "system [246]"},
        {{0xF8}, "system [248]"}, {{0xFA}, "system [250]"}, {{0xFB}, "system [251]"}, {{0xFC}, "system [252]"},
        {{0xFE}, "system [254]"}, {{0xF0, 0x7E, 0xF7}, "system [240, 126, 247]"},
        {{0xF4}, ""}, {{0xF5}, ""}, {{0xF9}, ""}, {{0xFD}, ""},
    };
    // clang-format on
    // Packet lists into a virtual input; universal packets into an input port from an outside source.
    Loop loop;
    loop.receiver->createVirtualInputPorts(1);
    loop.sender->openOutput(2000000);
    const auto keyboard = loop.service->addExternalSource("Keyboard");
    loop.receiver->openInput("Keyboard");
    const auto keyboardPort = " @" + std::to_string(loop.receiver->inputUID(0)) + " t6";
    for (const auto& [bytes, call] : table) {
        const auto before = loop.heard->calls().size();
        loop.sender->sendMessage(bytes, 5);
        loop.service->emit(keyboard, platform::makePacketList(6, bytes));
        const auto calls = loop.heard->calls();
        ASSERT_EQ(calls.size(), before + (call.empty() ? 0 : 2)) << call;
        if (call.empty()) continue;
        EXPECT_EQ(calls[before], call + " @2000000 t5");
        EXPECT_EQ(calls[before + 1], call + keyboardPort);
    }
}

TEST(MIDIInputOutput, InterleavedSystemExclusiveFromTwoSourcesStaysApart) {
    const Bytes halves[2][2] = {{{0xF0, 0x01, 0x02}, {0xF0, 0x11}}, {{0x03, 0xF7}, {0x12, 0x13, 0xF7}}};
    Loop lists; // two virtual inputs
    lists.receiver->createVirtualInputPorts(2);
    lists.sender->openOutput();
    Loop ump; // two outside sources on input ports
    const platform::MIDIEndpointRef sources[] = {ump.service->addExternalSource("A"),
                                                 ump.service->addExternalSource("B")};
    ump.receiver->openInput("");
    for (const auto& half : halves)
        for (int source = 0; source < 2; ++source) {
            lists.sender->sendMessage(half[source], 1, std::vector<MIDIUniqueID>{2000000 + 2 * source});
            ump.service->emit(sources[source], platform::makePacketList(1, half[source]));
        }
    for (auto* loop : {&lists, &ump}) {
        auto calls = loop->heard->calls();
        ASSERT_EQ(calls.size(), 2u);
        EXPECT_EQ(calls[0].substr(0, 26), "system [240, 1, 2, 3, 247]");
        EXPECT_EQ(calls[1].substr(0, 29), "system [240, 17, 18, 19, 247]");
    }
}

TEST(MIDIInputOutput, SendersPutExactBytesOnTheWire) {
    Loop loop;
    const auto synth = loop.service->addExternalDestination("Synth");
    loop.sender->openOutput("Synth");
    loop.sender->createVirtualOutputPorts(1);
    const std::vector<MIDIEndpointRef> own{loop.sender->virtualOutputs()[0]};
    loop.receiver->openInput(2000001);
    auto& s = *loop.sender;
    // 1010 bytes fill a packet list of 1024 bytes; longer messages must still arrive whole.
    const std::vector<std::pair<std::function<void()>, Bytes>> table = {
        {[&] { s.sendNoteOnMessage(60, 100, 1, 3, std::nullopt, own); }, {0x91, 60, 100}},
        {[&] { s.sendNoteOffMessage(60, 2, 3, std::nullopt, own); }, {0x82, 0x3C, 0x00}},
        {[&] { s.sendControllerMessage(7, 100, 15, std::nullopt, own); }, {0xBF, 0x07, 0x64}},
        {[&] { s.sendPitchBendMessage(8192, 0, std::nullopt, own); }, {0xE0, 0x00, 0x40}},
        {[&] { s.sendPitchBendMessage(16383, 0, std::nullopt, own); }, {0xE0, 0x7F, 0x7F}},
        {[&] { s.sendPitchBendMessage(16384 + 5, 0, std::nullopt, own); }, {0xE0, 0x05, 0x00}},
        {[&] { s.sendEvent(MIDIEvent{0xF6}, std::nullopt, own); }, {0xF6}},
        {[&] { s.sendMessage(sysex(1010), 0, std::nullopt, own); }, sysex(1010)},
        {[&] { s.sendMessage(sysex(1011), 0, std::nullopt, own); }, sysex(1011)},
        {[&] { s.sendMessage(sysex(65536), 0, std::nullopt, own); }, sysex(65536)},
    };
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i].first();
        const auto lists = loop.service->packetListsReceived(synth);
        ASSERT_EQ(lists.size(), i + 1);
        const auto events = MIDIEvent::events(lists.back());
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].data, table[i].second) << i;
    }
    EXPECT_EQ(loop.heard->calls().size(), table.size());               // the virtual source carried the same
    s.sendNoteOnMessage(1, 1, 0, 0, std::vector<MIDIUniqueID>{}, own); // to no destination
    EXPECT_EQ(loop.service->packetListsReceived(synth).size(), table.size());
    EXPECT_EQ(loop.heard->calls().size(), table.size() + 1);
}

TEST(EndpointInfo, DescribesEndpointsAndComesBackFromJSON) {
    Loop loop;
    auto& midi = *loop.receiver;
    EXPECT_TRUE(midi.destinationInfos().empty());
    EXPECT_EQ(midi.virtualInputInfos(), std::vector<EndpointInfo>{EndpointInfo{}}); // the placeholder
    const auto synth = loop.service->addExternalDestination("Synth");
    loop.service->objectSetStringProperty(synth, platform::kMIDIPropertyManufacturer, "Fennora");
    loop.service->objectSetIntegerProperty(synth, platform::kMIDIPropertyUniqueID, -12);
    midi.createVirtualPorts(1);
    const auto destinations = midi.destinationInfos();
    ASSERT_EQ(destinations.size(), 2u); // our own virtual input is a destination too
    EXPECT_EQ(std::tie(destinations[0].name, destinations[0].manufacturer, destinations[0].midiEndpointRef),
              std::tie("Synth", "Fennora", synth));
    EXPECT_EQ(midi.virtualOutputInfos().size(), 2u);
    EXPECT_EQ(midi.inputInfos().at(0).midiUniqueID, 2000001);

    auto info = destinations[0];
    for (auto port : {std::optional<MIDIPortRef>{}, std::optional<MIDIPortRef>{4000000000u}}) {
        info.midiPortRef = port;
        const auto back = EndpointInfo::fromJSON(info.json());
        ASSERT_TRUE(back);
        EXPECT_EQ(std::tie(*back, back->midiEndpointRef, back->midiPortRef),
                  std::tie(info, info.midiEndpointRef, port));
        platform::PlistDictionary keyed;
        platform::KeyedEncoder encoder(keyed);
        info.encode(encoder);
        EXPECT_EQ(EndpointInfo::decode(platform::KeyedDecoder(keyed)), info);
    }
    // Equal by fields, not by hash; the handle takes no part.
    auto moved = info, renamed = info;
    moved.midiEndpointRef += 1;
    renamed.image = "x";
    EXPECT_EQ(std::hash<EndpointInfo>{}(moved), std::hash<EndpointInfo>{}(info));
    EXPECT_EQ((std::unordered_set<EndpointInfo>{info, moved, renamed}.size()), 2u);

    const auto good = info.json();
    auto edited = [&](std::string from, std::string to) {
        return good.substr(0, good.find(from)) + to + good.substr(good.find(from) + from.size());
    };
    const std::pair<std::string, std::string> bad[] = {
        {edited("\"driverOwner\"", "\"owner\""), "\"driverOwner\""},
        {edited("-12", "\"-12\""), "\"midiUniqueID\""},
        {edited("4000000000", "-1"), "\"midiPortRef\""},
        {"[1,", "not JSON"},
    };
    for (const auto& [text, reason] : bad) {
        std::string error;
        EXPECT_FALSE(EndpointInfo::fromJSON(text, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
}

TEST(EndpointInfo, TextsThatAreNotUTF8AreWrittenWithReplacementCharacters) {
    const std::pair<std::string, std::string> names[] = {
        {"Synth \xC3(", "Synth \uFFFD("}, // a lead byte without its continuation
        {"Port \xE2\x82", "Port \uFFFD"}, // cut short at the end
        {"\xFF\xFE Latin-1 \xE9", "\uFFFD\uFFFD Latin-1 \uFFFD"},
        {"Fl\xC3\xBCgel \xE2\x9C\x93", "Fl\xC3\xBCgel \xE2\x9C\x93"}, // UTF-8 stays as it is
    };
    for (const auto& [name, written] : names) {
        EndpointInfo info;
        info.name = name;
        info.model = name;
        std::string text;
        ASSERT_NO_THROW(text = info.json()) << name;
        const auto back = EndpointInfo::fromJSON(text);
        ASSERT_TRUE(back) << text;
        EXPECT_EQ(std::tie(back->name, back->model), std::tie(written, written)) << text;
    }
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
    const bool allArrived = testsupport::waitUntil(
        [&] {
            for (int i = 0; i < 20; ++i) {
                auto passing = std::make_shared<Counter>();
                midi->addListener(passing);
                midi->addTransformer(std::make_shared<MIDITransformer>());
                midi->removeListener(*passing);
                midi->clearTransformers();
            }
            return steady->notes == events;
        },
        std::chrono::seconds(60));
    EXPECT_TRUE(allArrived) << steady->notes << " of " << events;
    service->waitUntilIdle();
}
