#include "platform/midi/LoopbackMIDIService.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;
using Delivery = LoopbackMIDIService::Delivery;

// One client of the service that records what reaches it.
struct Recorder {
    MIDIClientRef client = 0;
    MIDIPortRef input = 0;
    std::mutex mutex;
    std::vector<std::string> notifications;
    std::vector<std::uint32_t> words;
    std::vector<std::thread::id> threads;

    explicit Recorder(MIDIService& service) {
        EXPECT_EQ(service.clientCreate(
                      "recorder", [this](const MIDINotification& n) { note(n); }, client),
                  kMIDINoErr);
        EXPECT_EQ(service.inputPortCreate(
                      client, "in", MIDIProtocolID::midi1_0,
                      [this](const MIDIEventList& list) {
                          std::lock_guard lock(mutex);
                          threads.push_back(std::this_thread::get_id());
                          for (auto& packet : list.packets)
                              words.insert(words.end(), packet.words.begin(), packet.words.end());
                      },
                      input),
                  kMIDINoErr);
    }
    void note(const MIDINotification& n) {
        std::lock_guard lock(mutex);
        std::string text = std::to_string(static_cast<int>(n.messageID));
        if (n.messageID == MIDINotificationMessageID::propertyChanged)
            text += ":" + static_cast<const MIDIObjectPropertyChangeNotification&>(n).propertyName;
        notifications.push_back(text);
    }
};

} // namespace

TEST(LoopbackMIDIService, ClientsSeeEndpointsComeGoAndChange) {
    LoopbackMIDIService service;
    Recorder a(service), b(service);
    MIDIEndpointRef source = 0, destination = 0, hidden = 0;
    ASSERT_EQ(service.sourceCreate(a.client, "A out", source), kMIDINoErr);
    ASSERT_EQ(service.destinationCreate(
                  a.client, "A in", [](auto) {}, destination),
              kMIDINoErr);
    ASSERT_EQ(service.destinationCreate(
                  a.client, "hidden", [](auto) {}, hidden),
              kMIDINoErr);
    EXPECT_EQ(service.objectSetIntegerProperty(hidden, kMIDIPropertyPrivate, 1), kMIDINoErr);
    const auto external = service.addExternalSource("Keyboard");
    EXPECT_EQ(service.objectSetStringProperty(source, kMIDIPropertyName, "A renamed"), kMIDINoErr);
    EXPECT_TRUE(service.removeExternalEndpoint(external));
    EXPECT_EQ(service.endpointDispose(destination), kMIDINoErr);
    const std::vector<std::string> expected = {"2", "1", "2",      "1", "2", "1", "4:private",
                                               "2", "1", "4:name", "3", "1", "3", "1"};
    EXPECT_EQ(a.notifications, expected);
    EXPECT_EQ(b.notifications, expected);

    EXPECT_EQ(service.numberOfSources(), 1u);
    EXPECT_EQ(service.source(0), source);
    EXPECT_EQ(service.source(1), 0u);
    EXPECT_EQ(service.numberOfDestinations(), 0u); // the private one is not listed
    std::string name;
    EXPECT_EQ(service.objectGetStringProperty(source, kMIDIPropertyName, name), kMIDINoErr);
    EXPECT_EQ(name, "A renamed");
    std::int32_t id = 0;
    EXPECT_EQ(service.objectGetIntegerProperty(destination, kMIDIPropertyUniqueID, id), kMIDIObjectNotFound);
    EXPECT_EQ(service.objectGetIntegerProperty(source, kMIDIPropertyModel, id), kMIDIUnknownProperty);
    EXPECT_EQ(service.objectGetIntegerProperty(source, kMIDIPropertyUniqueID, id), kMIDINoErr);
    EXPECT_NE(id, 0);
    EXPECT_EQ(service.objectSetIntegerProperty(hidden, kMIDIPropertyUniqueID, id), kMIDIIDNotUnique);
    EXPECT_EQ(service.objectSetIntegerProperty(hidden, kMIDIPropertyUniqueID, 2000000), kMIDINoErr);
}

TEST(LoopbackMIDIService, PacketsReachConnectedPortsAndDestinations) {
    LoopbackMIDIService service;
    Recorder receiver(service);
    MIDIEndpointRef source = 0, destination = 0;
    ASSERT_EQ(service.sourceCreate(receiver.client, "out", source), kMIDINoErr);
    std::vector<Bytes> read;
    ASSERT_EQ(service.destinationCreate(
                  receiver.client, "in", [&](auto list) { read.emplace_back(list.begin(), list.end()); },
                  destination),
              kMIDINoErr);
    const auto keyboard = service.addExternalSource("Keyboard");
    const auto synth = service.addExternalDestination("Synth");
    const auto note = makePacketList(7, Bytes{0x90, 0x3C, 0x64});

    EXPECT_EQ(service.received(source, note), kMIDINoErr); // nobody connected yet
    EXPECT_EQ(service.portConnectSource(receiver.input, source), kMIDINoErr);
    EXPECT_EQ(service.portConnectSource(receiver.input, keyboard), kMIDINoErr);
    EXPECT_EQ(service.received(source, note), kMIDINoErr);
    EXPECT_EQ(service.emit(keyboard, makePacketList(8, Bytes{0xC0, 0x05})), kMIDINoErr);
    EXPECT_EQ(service.received(keyboard, note), kMIDIWrongEndpointType);
    EXPECT_EQ(service.portDisconnectSource(receiver.input, source), kMIDINoErr);
    EXPECT_EQ(service.portDisconnectSource(receiver.input, source), kMIDINoConnection);
    EXPECT_EQ(service.received(source, note), kMIDINoErr);
    EXPECT_EQ(receiver.words, (std::vector<std::uint32_t>{0x20903C64, 0x20C00500}));

    MIDIPortRef output = 0;
    ASSERT_EQ(service.outputPortCreate(receiver.client, "out", output), kMIDINoErr);
    EXPECT_EQ(service.send(output, destination, note), kMIDINoErr);
    EXPECT_EQ(service.send(output, synth, note), kMIDINoErr);
    EXPECT_EQ(service.send(output, source, note), kMIDIWrongEndpointType);
    EXPECT_EQ(service.send(receiver.input, synth, note), kMIDIInvalidPort);
    EXPECT_EQ(read, std::vector<Bytes>{note});
    EXPECT_EQ(service.packetListsReceived(synth), std::vector<Bytes>{note});
}

TEST(LoopbackMIDIService, ThreadedDeliveryRunsInOrderOnItsOwnThread) {
    LoopbackMIDIService service(Delivery::threaded);
    Recorder recorder(service);
    const auto keyboard = service.addExternalSource("Keyboard");
    ASSERT_EQ(service.portConnectSource(recorder.input, keyboard), kMIDINoErr);
    std::vector<std::thread> senders;
    std::atomic<int> sent{0};
    // Two senders racing: each one's notes arrive in its own order, all of them once.
    for (std::uint8_t channel = 0; channel < 2; ++channel)
        senders.emplace_back([&, channel] {
            for (std::uint8_t note = 0; note < 100; ++note)
                if (service.emit(keyboard, makePacketList(0, Bytes{std::uint8_t(0x90 | channel), note, 1})) ==
                    kMIDINoErr)
                    ++sent;
        });
    for (auto& sender : senders)
        sender.join();
    service.waitUntilIdle();
    ASSERT_EQ(sent, 200);
    std::lock_guard lock(recorder.mutex);
    ASSERT_EQ(recorder.words.size(), 200u);
    std::uint32_t next[2] = {0, 0};
    for (auto word : recorder.words) {
        const auto channel = (word >> 16) & 1;
        EXPECT_EQ((word >> 8) & 0x7F, next[channel]++);
    }
    for (auto id : recorder.threads)
        EXPECT_NE(id, std::this_thread::get_id());
}
