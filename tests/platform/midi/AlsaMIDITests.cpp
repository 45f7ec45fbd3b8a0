#include "platform/midi/AlsaMIDIService.h"

#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

} // namespace

TEST(AlsaMIDICoding, MessagesBecomeSequencerEventsAndBack) {
    using Case = std::tuple<Bytes, std::vector<snd_seq_event_type_t>, Bytes>; // no bytes back: the same
    const Case cases[] = {
        {{0x93, 0x3C, 0x64}, {SND_SEQ_EVENT_NOTEON}, {}},
        {{0x80, 0x3C, 0x00}, {SND_SEQ_EVENT_NOTEOFF}, {}},
        {{0xA1, 0x3C, 0x10}, {SND_SEQ_EVENT_KEYPRESS}, {}},
        {{0xB2, 0x07, 0x64}, {SND_SEQ_EVENT_CONTROLLER}, {}},
        {{0xC5, 0x07}, {SND_SEQ_EVENT_PGMCHANGE}, {}},
        {{0xD6, 0x20}, {SND_SEQ_EVENT_CHANPRESS}, {}},
        {{0xEF, 0x00, 0x40}, {SND_SEQ_EVENT_PITCHBEND}, {}},
        {{0xF1, 0x23}, {SND_SEQ_EVENT_QFRAME}, {}},
        {{0xF2, 0x10, 0x20}, {SND_SEQ_EVENT_SONGPOS}, {}},
        {{0xF3, 0x05}, {SND_SEQ_EVENT_SONGSEL}, {}},
        {{0xF6}, {SND_SEQ_EVENT_TUNE_REQUEST}, {}},
        {{0xF8, 0xFA, 0xFB, 0xFC, 0xFE, 0xFF},
         {SND_SEQ_EVENT_CLOCK, SND_SEQ_EVENT_START, SND_SEQ_EVENT_CONTINUE, SND_SEQ_EVENT_STOP,
          SND_SEQ_EVENT_SENSING, SND_SEQ_EVENT_RESET},
         {}},
        {{0xF0, 0x7E, 0x01, 0xF7}, {SND_SEQ_EVENT_SYSEX}, {}},
        {{0x90, 0x3C, 0x64, 0x3E, 0x64},
         {SND_SEQ_EVENT_NOTEON, SND_SEQ_EVENT_NOTEON},
         {0x90, 0x3C, 0x64, 0x90, 0x3E, 0x64}},
        {{0x90, 0x3C, 0xF8, 0x64}, {SND_SEQ_EVENT_CLOCK, SND_SEQ_EVENT_NOTEON}, {0xF8, 0x90, 0x3C, 0x64}},
    };
    for (const auto& [bytes, expectedTypes, expectedBack] : cases) {
        AlsaMIDIEncoder encoder;
        AlsaMIDIDecoder decoder;
        std::vector<snd_seq_event_type_t> types;
        Bytes back;
        encoder.encode(bytes, [&](snd_seq_event_t& event) {
            types.push_back(event.type);
            decoder.decode(event, back);
        });
        EXPECT_EQ(types, expectedTypes) << int(bytes[0]);
        EXPECT_EQ(back, expectedBack.empty() ? bytes : expectedBack) << int(bytes[0]);
    }
}

TEST(AlsaMIDICoding, LongSystemExclusiveComesInPiecesThatJoinAgain) {
    Bytes message{0xF0};
    for (int i = 0; i < 1000; ++i)
        message.push_back(i & 0x7F);
    message.push_back(0xF7);
    AlsaMIDIEncoder encoder(256);
    AlsaMIDIDecoder decoder;
    Bytes back;
    int events = 0;
    // Handed over in two calls, as two packets would bring it.
    for (auto half : {std::span(message).first(500), std::span(message).subspan(500)})
        encoder.encode(half, [&](snd_seq_event_t& event) {
            ++events;
            decoder.decode(event, back);
        });
    EXPECT_GT(events, 1);
    EXPECT_EQ(back, message);
}

TEST(AlsaMIDIService, NoteFromOurSourceReachesOurInputPort) {
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq is missing or not accessible)";
    std::string why;
    auto service = AlsaMIDIService::open(&why);
    ASSERT_TRUE(service) << why;
    std::atomic<int> sourcesAnnounced{0};
    std::mutex mutex;
    std::vector<std::uint32_t> words;
    MIDIClientRef client = 0;
    ASSERT_EQ(service->clientCreate(
                  "test",
                  [&](const MIDINotification& n) {
                      if (n.messageID == MIDINotificationMessageID::objectAdded) ++sourcesAnnounced;
                  },
                  client),
              kMIDINoErr);
    MIDIEndpointRef source = 0;
    MIDIPortRef input = 0;
    ASSERT_EQ(service->sourceCreate(client, "test out", source), kMIDINoErr);
    ASSERT_EQ(service->inputPortCreate(
                  client, "in", MIDIProtocolID::midi1_0,
                  [&](const MIDIEventList& list) {
                      std::lock_guard lock(mutex);
                      for (auto& packet : list.packets)
                          words.insert(words.end(), packet.words.begin(), packet.words.end());
                  },
                  input),
              kMIDINoErr);
    ASSERT_EQ(service->portConnectSource(input, source), kMIDINoErr);
    ASSERT_EQ(service->received(source, makePacketList(0, Bytes{0x90, 0x3C, 0x64})), kMIDINoErr);
    EXPECT_TRUE(testsupport::waitUntil([&] {
        std::lock_guard lock(mutex);
        return !words.empty();
    }));
    std::lock_guard lock(mutex);
    EXPECT_EQ(words, std::vector<std::uint32_t>{0x20903C64});
    EXPECT_GE(sourcesAnnounced, 1);
}

TEST(AlsaMIDIService, PrivateEndpointsOfferNoSubscriptionAndAreNotExported) {
    using Case = std::tuple<MIDIObjectType, bool, unsigned>;
    for (const auto& [type, isPrivate, capabilities] :
         {Case{MIDIObjectType::source, false, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ},
          Case{MIDIObjectType::destination, false, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE},
          Case{MIDIObjectType::source, true, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_NO_EXPORT},
          Case{MIDIObjectType::destination, true, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT}})
        EXPECT_EQ(AlsaMIDIService::endpointCapabilities(type, isPrivate), capabilities)
            << int(type) << " " << isPrivate;
}

TEST(AlsaMIDIService, APrivateDestinationIsNeitherListedNorSubscribedToByOthers) {
    if (::access("/dev/snd/seq", R_OK | W_OK) != 0)
        GTEST_SKIP() << "no ALSA sequencer here (/dev/snd/seq is missing or not accessible)";
    std::string why;
    auto service = AlsaMIDIService::open(&why);
    ASSERT_TRUE(service) << why;
    MIDIClientRef client = 0;
    ASSERT_EQ(service->clientCreate("hiding", {}, client), kMIDINoErr);
    std::atomic<int> heard{0};
    MIDIEndpointRef destination = 0;
    ASSERT_EQ(service->destinationCreate(
                  client, "vantle hidden destination", [&](std::span<const std::uint8_t>) { ++heard; },
                  destination),
              kMIDINoErr);

    // Another program, as a client of its own.
    snd_seq_t* other = nullptr;
    ASSERT_GE(snd_seq_open(&other, "default", SND_SEQ_OPEN_DUPLEX, 0), 0);
    const int otherPort = snd_seq_create_simple_port(
        other, "other", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ, SND_SEQ_PORT_TYPE_APPLICATION);
    const auto capabilitiesSeen = [&]() -> std::optional<std::pair<int, unsigned>> {
        snd_seq_client_info_t* clientInfo;
        snd_seq_port_info_t* portInfo;
        snd_seq_client_info_alloca(&clientInfo);
        snd_seq_port_info_alloca(&portInfo);
        snd_seq_client_info_set_client(clientInfo, -1);
        while (snd_seq_query_next_client(other, clientInfo) >= 0) {
            snd_seq_port_info_set_client(portInfo, snd_seq_client_info_get_client(clientInfo));
            snd_seq_port_info_set_port(portInfo, -1);
            while (snd_seq_query_next_port(other, portInfo) >= 0)
                if (std::string(snd_seq_port_info_get_name(portInfo)) == "vantle hidden destination")
                    return std::pair(snd_seq_port_info_get_client(portInfo) << 16 |
                                         snd_seq_port_info_get_port(portInfo),
                                     snd_seq_port_info_get_capability(portInfo));
        }
        return std::nullopt;
    };
    const auto open = capabilitiesSeen();
    ASSERT_TRUE(open);
    EXPECT_TRUE(open->second & SND_SEQ_PORT_CAP_SUBS_WRITE);

    ASSERT_EQ(service->objectSetIntegerProperty(destination, kMIDIPropertyPrivate, 1), kMIDINoErr);
    const auto hidden = capabilitiesSeen();
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->second & (SND_SEQ_PORT_CAP_SUBS_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT),
              unsigned(SND_SEQ_PORT_CAP_NO_EXPORT));
    EXPECT_LT(snd_seq_connect_to(other, otherPort, hidden->first >> 16, hidden->first & 0xFFFF), 0);

    // Its owner still reaches it.
    MIDIPortRef out = 0;
    ASSERT_EQ(service->outputPortCreate(client, "out", out), kMIDINoErr);
    ASSERT_EQ(service->send(out, destination, makePacketList(0, Bytes{0x90, 0x3C, 0x64})), kMIDINoErr);
    EXPECT_TRUE(testsupport::waitUntil([&] { return heard > 0; }));

    ASSERT_EQ(service->objectSetIntegerProperty(destination, kMIDIPropertyPrivate, 0), kMIDINoErr);
    EXPECT_EQ(capabilitiesSeen()->second, open->second);
    snd_seq_close(other);
}
