#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/MIDI/MIDI.h"
#include "RozezEru/MIDI/MIDICallbackInstrument.h"
#include "RozezEru/MIDI/MIDIInstrument.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "platform/midi/MIDIPacketList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace rozezeru;
using platform::mainQueue;

namespace {

using InstrumentBytes = std::vector<std::uint8_t>;

class RecordingInstrument final : public MIDIInstrument {
public:
    using MIDIInstrument::MIDIInstrument;
    std::vector<std::string> calls;
    void start(std::uint8_t note, std::uint8_t velocity, std::uint8_t channel, EventTime) override {
        add("start", {note, velocity, channel});
    }
    void stop(std::uint8_t note, std::uint8_t channel, EventTime) override { add("stop", {note, channel}); }
    void programChange(std::uint8_t program, std::uint8_t channel, EventTime) override {
        add("program", {program, channel});
    }
    void receivedMIDIController(std::uint8_t c, std::uint8_t v, std::uint8_t channel, PortID,
                                EventTime) override {
        add("cc", {c, v, channel});
    }
    void receivedMIDIAftertouch(std::uint8_t n, std::uint8_t p, std::uint8_t channel, PortID,
                                EventTime) override {
        add("poly", {n, p, channel});
    }
    void receivedMIDIAftertouch(std::uint8_t p, std::uint8_t channel, PortID, EventTime) override {
        add("pressure", {p, channel});
    }
    void receivedMIDIPitchWheel(std::uint16_t value, std::uint8_t channel, PortID, EventTime) override {
        add("bend", {value, channel});
    }

private:
    void add(const std::string& what, std::initializer_list<int> values) {
        std::string call = what;
        for (int v : values)
            call += " " + std::to_string(v);
        calls.push_back(call);
    }
};

// A shared MIDI object on a loopback service and an outside sender that reaches private destinations.
struct InstrumentLoop {
    std::shared_ptr<platform::LoopbackMIDIService> service =
        std::make_shared<platform::LoopbackMIDIService>();
    platform::MIDIPortRef port = 0;
    InstrumentLoop() {
        mainQueue().bindToCurrentThread();
        MIDI::setShared(MIDI::make(service));
        platform::MIDIClientRef client = 0;
        service->clientCreate("Sender", {}, client);
        service->outputPortCreate(client, "Out", port);
    }
    ~InstrumentLoop() { MIDI::setShared(nullptr); }
    platform::MIDIStatusCode send(platform::MIDIEndpointRef to, const InstrumentBytes& bytes) {
        return service->send(port, to, platform::makePacketList(0, bytes));
    }
};

} // namespace

TEST(MIDIInstrument, MessagesAtItsDestinationAreDecodedOnTheMainQueue) {
    const std::pair<InstrumentBytes, std::string> table[] = {
        {{0x91, 61, 100}, "start 61 100 1"}, {{0x90, 60, 0}, "stop 60 0"},     {{0x84, 62, 9}, "stop 62 4"},
        {{0xA1, 60, 3}, "poly 60 3 1"},      {{0xB5, 7, 127}, "cc 7 127 5"},   {{0xC0, 5}, "program 5 0"},
        {{0xD2, 7}, "pressure 7 2"},         {{0xE3, 0, 0x40}, "bend 8192 3"}, {{0xF8}, ""},
    };
    InstrumentLoop loop;
    auto instrument = std::make_shared<RecordingInstrument>("Piano");
    for (const auto& [bytes, call] : table) {
        instrument->calls.clear();
        ASSERT_EQ(loop.send(instrument->midiIn(), bytes), platform::kMIDINoErr);
        EXPECT_TRUE(instrument->calls.empty()) << "decoded before the main queue ran: " << call;
        mainQueue().drain();
        EXPECT_EQ(instrument->calls, call.empty() ? std::vector<std::string>{} : std::vector{call});
    }
}

TEST(MIDIInstrument, ListenerNotesKeepTheActiveListAndDirectDecodingIgnoresNonChannelBytes) {
    InstrumentLoop loop;
    RecordingInstrument instrument("Keys");
    instrument.receivedMIDINoteOn(60, 100, 1, std::nullopt, std::nullopt);
    instrument.receivedMIDINoteOn(60, 100, 1, std::nullopt, std::nullopt);
    instrument.receivedMIDINoteOn(62, 90, 1, std::nullopt, std::nullopt);
    instrument.receivedMIDINoteOn(62, 0, 1, std::nullopt, std::nullopt);
    instrument.receivedMIDINoteOff(64, 0, 2, std::nullopt, std::nullopt);
    instrument.receivedMIDINoteOff(60, 0, 1, std::nullopt, std::nullopt);
    instrument.handleMIDI(0x40, 60, 100);
    instrument.handleMIDI(0xF2, 60, 100);
    EXPECT_EQ(instrument.calls, (std::vector<std::string>{"start 60 100 1", "start 60 100 1", "start 62 90 1",
                                                          "stop 62 1", "stop 64 2", "stop 60 1"}));
    EXPECT_TRUE(instrument.mpeActiveNotes().empty());
}

TEST(MIDIInstrument, IsNamedByItsAddressAndTakesItsHiddenDestinationAlongWhenDestroyed) {
    InstrumentLoop loop;
    auto first = std::make_unique<RecordingInstrument>();
    RecordingInstrument second;
    EXPECT_EQ(first->name(), MemoryAddress::addressString(first.get()));
    EXPECT_NE(first->name(), second.name());
    std::string destinationName;
    loop.service->objectGetStringProperty(first->midiIn(), platform::kMIDIPropertyName, destinationName);
    EXPECT_EQ(destinationName, first->name());
    EXPECT_EQ(loop.service->numberOfDestinations(), 0u) << "the destinations are private";

    const auto endpoint = first->midiIn();
    ASSERT_EQ(loop.send(endpoint, {0x90, 60, 100}), platform::kMIDINoErr);
    first.reset(); // with a message still on its way to the main queue
    mainQueue().drain();
    EXPECT_NE(loop.send(endpoint, {0x90, 60, 100}), platform::kMIDINoErr);
    mainQueue().drain();
    EXPECT_TRUE(second.calls.empty());
}

TEST(MIDICallbackInstrument, EveryRoadEndsInOneChannelMessage) {
    using Call = std::vector<InstrumentBytes>;
    const std::pair<InstrumentBytes, Call> table[] = {
        {{0x91, 0x40, 0x7F}, {{0x91, 0x40, 0x7F}}},
        {{0x91, 0x40, 0x00}, {{0x81, 0x40, 0x00}}},
        {{0xB2, 0x07, 0x64}, {{0xB2, 0x07, 0x64}}},
        {{0xA0, 0x3C, 0x20}, {{0xA0, 0x3C, 0x20}}},
        {{0xE5, 0x00, 0x40}, {{0xE5, 0x00, 0x40}}},
        {{0xD4, 0x33}, {{0xD4, 0x33, 0x00}}},
        {{0xC0, 0x05, 0x00}, {}},
    };
    InstrumentLoop loop;
    Call heard;
    MIDICallbackInstrument instrument("Callback", [&](std::uint8_t s, std::uint8_t d1, std::uint8_t d2) {
        heard.push_back({s, d1, d2});
    });
    for (const auto& [bytes, calls] : table) {
        heard.clear();
        loop.send(instrument.midiIn(), bytes);
        mainQueue().drain();
        EXPECT_EQ(heard, calls);
    }
    heard.clear();
    instrument.receivedMIDINoteOn(60, 0, 2, std::nullopt, std::nullopt);
    EXPECT_EQ(heard, (Call{{0x82, 60, 0}}));
}
