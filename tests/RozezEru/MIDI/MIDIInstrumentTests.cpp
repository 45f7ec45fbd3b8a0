#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/MIDI/MIDI.h"
#include "RozezEru/MIDI/MIDICallbackInstrument.h"
#include "RozezEru/MIDI/MIDISampler.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "platform/midi/MIDIPacketList.h"
#include "tests/support/Spectrum.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

using namespace rozezeru;
using platform::mainQueue;

namespace {
using Message = std::vector<std::uint8_t>;

struct HeardInstrument final : MIDICallbackInstrument {
    std::vector<Message> heard;
    explicit HeardInstrument(const std::string& name)
        : MIDICallbackInstrument(name, [this](std::uint8_t s, std::uint8_t a, std::uint8_t b) {
              heard.push_back({s, a, b});
          }) {}
    void programChange(std::uint8_t program, std::uint8_t channel, EventTime) override {
        heard.push_back({std::uint8_t(0xC0 + channel), program});
    }
};

// A loopback with an outside sender that reaches private destinations.
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
    platform::MIDIStatusCode send(platform::MIDIEndpointRef to, const Message& bytes) {
        return service->send(port, to, platform::makePacketList(0, bytes));
    }
};

} // namespace

TEST(MIDIInstrument, MessagesAtItsDestinationAreDecodedOnTheMainQueue) {
    const std::pair<Message, std::vector<Message>> table[] = {
        {{0x91, 0x40, 0x7F}, {{0x91, 0x40, 0x7F}}},
        {{0x91, 0x40, 0x00}, {{0x81, 0x40, 0x00}}},
        {{0x84, 62, 9}, {{0x84, 62, 0}}},
        {{0xB2, 0x07, 0x64}, {{0xB2, 0x07, 0x64}}},
        {{0xA0, 0x3C, 0x20}, {{0xA0, 0x3C, 0x20}}},
        {{0xE5, 0x00, 0x40}, {{0xE5, 0x00, 0x40}}},
        {{0xD4, 0x33}, {{0xD4, 0x33, 0x00}}},
        {{0xC3, 0x05}, {{0xC3, 0x05}}},
        // The three-byte forms of the one-data-byte messages are one message, not two.
        {{0xD4, 0x33, 0x00}, {{0xD4, 0x33, 0x00}}},
        {{0xC0, 0x05, 0x00}, {{0xC0, 0x05}}},
        {{0xF8}, {}},
    };
    InstrumentLoop loop;
    HeardInstrument instrument("Piano");
    for (const auto& [bytes, calls] : table) {
        instrument.heard.clear();
        ASSERT_EQ(loop.send(instrument.midiIn(), bytes), platform::kMIDINoErr);
        EXPECT_TRUE(instrument.heard.empty()) << "decoded before the main queue ran";
        mainQueue().drain();
        EXPECT_EQ(instrument.heard, calls);
    }
}

TEST(MIDIInstrument, ListenerNotesKeepTheActiveListAndDirectDecodingIgnoresNonChannelBytes) {
    InstrumentLoop loop;
    HeardInstrument instrument("Keys");
    for (auto [note, velocity, on] : {std::tuple{60, 100, true},
                                      {60, 100, true},
                                      {62, 90, true},
                                      {62, 0, true},
                                      {64, 0, false},
                                      {60, 0, false}})
        on ? instrument.receivedMIDINoteOn(note, velocity, 1, std::nullopt, std::nullopt)
           : instrument.receivedMIDINoteOff(note, velocity, 1, std::nullopt, std::nullopt);
    instrument.handleMIDI(0x40, 60, 100);
    instrument.handleMIDI(0xF2, 60, 100);
    EXPECT_EQ(
        instrument.heard,
        (std::vector<Message>{
            {0x91, 60, 100}, {0x91, 60, 100}, {0x91, 62, 90}, {0x81, 62, 0}, {0x81, 64, 0}, {0x81, 60, 0}}));
    EXPECT_TRUE(instrument.mpeActiveNotes().empty());
}

TEST(MIDIInstrument, IsNamedByItsAddressAndTakesItsHiddenDestinationAlongWhenDestroyed) {
    InstrumentLoop loop;
    auto first = std::make_unique<MIDIInstrument>();
    MIDIInstrument second;
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
}

TEST(MIDISampler, PlaysANoteSentOverMIDIAtItsPitchAndDisposesItsDestinationOnce) {
    InstrumentLoop loop;
    testsupport::TemporaryFolder folder;
    const double c4 = 440.0 * std::exp2(-9.0 / 12.0); // a file without a root chunk sounds at key 60
    ASSERT_TRUE(testsupport::writeSineFile(folder.file("c4.wav"), 3.0, c4));
    auto sampler = std::make_shared<MIDISampler>("Sampler");
    ASSERT_TRUE(sampler->loadInstrumentAtPath(folder.file("c4.wav")));
    auto engine = testsupport::offlineToolkitEngine(sampler, 10.0);
    ASSERT_EQ(loop.send(sampler->midiIn(), {0x90, 67, 100}), platform::kMIDINoErr);
    const auto out = testsupport::renderToolkit(*engine, 35280)[0];
    EXPECT_NEAR(testsupport::spectralPeakFrequency(out, 2048, 44100.0) / (c4 * std::exp2(7.0 / 12.0)), 1.0,
                0.005);
    const auto endpoint = sampler->midiIn();
    sampler->disposeMIDIDestination();
    sampler->disposeMIDIDestination();
    EXPECT_EQ(sampler->midiIn(), 0u);
    EXPECT_NE(loop.send(endpoint, {0x90, 60, 100}), platform::kMIDINoErr);
}
