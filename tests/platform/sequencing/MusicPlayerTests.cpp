#include "platform/sequencing/MusicPlayer.h"
#include "tests/platform/audio/GainTestUnit.h"
#include "tests/support/AllocationTrap.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/support/Wait.h"

#include <mutex>

#include <gtest/gtest.h>

using namespace platform;
using namespace unittest;

namespace {

// An instrument that records the MIDI it receives, rendered cycle by cycle as an offline engine would.
struct Instrument {
    GainTestUnit unit{{code("aumu"), code("inst"), code("Test"), 0, 0}, 0};
    std::shared_ptr<PcmBuffer> buffer = PcmBuffer::make(unitStereo(), 512);
    std::int64_t rendered = 0;

    Instrument() { EXPECT_TRUE(unit.allocateRenderResources()); }
    void render(std::int64_t frames) {
        AudioBufferList list = buffer->bufferList(512);
        testsupport::AllocationTrap::resetCounts();
        testsupport::ScopedRenderThread rendering;
        for (std::int64_t end = rendered + frames; rendered < end; rendered += 512)
            ASSERT_EQ(unit.render(AudioTime::withSampleTime(rendered, 44100.0), 512, 0, list,
                                  AudioUnitPullInput::none()),
                      RenderStatus::success);
        // The player's observer and the events it schedules take nothing from the heap.
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    }
    std::vector<std::int64_t> noteOnFrames() const {
        std::vector<std::int64_t> out;
        for (std::size_t i = 0; i < unit.midiCount(); ++i)
            if (unit.midi(i).data[0] == 0x90) out.push_back(unit.midi(i).time);
        return out;
    }
};

struct Rig {
    MusicSequence sequence;
    MusicTrackHandle track = sequence.newTrack();
    Instrument instrument; // outlives the player that observes it
    MusicPlayer player;
    explicit Rig(const std::vector<std::pair<double, double>>& tempos) {
        for (auto [beat, bpm] : tempos)
            sequence.tempoTrack().lock()->addEvent(beat, ExtendedTempoEvent{bpm});
        for (int beat = 0; beat < 4; ++beat)
            track.lock()->addEvent(beat,
                                   MIDINoteMessage{0, static_cast<std::uint8_t>(60 + beat), 100, 0, 0.5f});
        track.lock()->setLength(4);
        player.setSequence(&sequence);
        player.setDestination(track, &instrument.unit);
    }
};

} // namespace

TEST(MusicPlayer, NotesArriveOnTheirFramesLoopAndFollowTheTempoMap) {
    using Case = std::tuple<const char*, std::vector<std::pair<double, double>>, MusicTrackLoopInfo,
                            std::int64_t, std::vector<std::int64_t>>;
    const Case cases[] = {
        {"120 BPM", {{0, 120}}, {}, 176400, {0, 22050, 44100, 66150}},
        {"looping", {{0, 120}}, {4, 0}, 176128, {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350}},
        {"two loops", {{0, 120}}, {4, 2}, 300000, {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350}},
        {"60 BPM from beat 2", {{0, 120}, {2, 60}}, {}, 176400, {0, 22050, 44100, 88200}},
    };
    for (const auto& [name, tempos, loop, frames, noteOns] : cases) {
        Rig rig(tempos);
        rig.track.lock()->setLoopInfo(loop);
        rig.player.start();
        rig.instrument.render(frames);
        EXPECT_EQ(rig.instrument.noteOnFrames(), noteOns) << name;
    }
}

TEST(MusicPlayer, StopKeepsThePositionAndStartGoesOnFromIt) {
    Rig rig({{0, 120}});
    rig.player.start();
    rig.instrument.render(30720); // past beat 1 (22050) and short of beat 2 (44100)
    rig.player.stop();
    EXPECT_NEAR(rig.player.time(), 30720 / 22050.0, 1e-9);
    EXPECT_FALSE(rig.player.isPlaying());
    rig.instrument.render(30720); // stopped: nothing is sent
    EXPECT_EQ(rig.instrument.noteOnFrames().size(), 2u);
    rig.player.start();
    rig.instrument.render(40960);
    // Beat 2 comes 44100 − 30720 frames after the restart at frame 61440.
    EXPECT_EQ(rig.instrument.noteOnFrames(),
              (std::vector<std::int64_t>{0, 22050, 61440 + 13380, 61440 + 35430}));
    rig.player.stop();
    rig.player.setTime(0);
    EXPECT_EQ(rig.player.time(), 0.0);
    EXPECT_EQ(rig.player.setPlayRateScalar(0), kAudioToolboxErr_InvalidPlayerState);
    EXPECT_EQ(rig.player.playRateScalar(), 1.0);
}

TEST(MusicPlayer, TracksRoutedToAnEndpointAreSentOnTimeByThePlayersThread) {
    LoopbackMIDIService service;
    MIDIClientRef client = 0;
    MIDIPortRef port = 0;
    MIDIEndpointRef destination = 0;
    FakeClock clock;
    std::mutex mutex;
    std::vector<std::pair<double, std::uint8_t>> received; // clock seconds, note of each note-on
    ASSERT_EQ(service.clientCreate(
                  "sequencer", [](const MIDINotification&) {}, client),
              kMIDINoErr);
    ASSERT_EQ(service.outputPortCreate(client, "out", port), kMIDINoErr);
    ASSERT_EQ(service.destinationCreate(
                  client, "synth",
                  [&](std::span<const std::uint8_t> list) {
                      std::lock_guard lock(mutex);
                      for (const auto& packet : MIDIPacketListView(list))
                          if (packet.data.size() == 3 && packet.data[0] == 0x90)
                              received.emplace_back(clock.now().timeIntervalSinceReferenceDate,
                                                    packet.data[1]);
                  },
                  destination),
              kMIDINoErr);
    auto noteOns = [&] {
        std::lock_guard lock(mutex);
        return received.size();
    };

    Rig rig({{0, 120}});
    rig.track.lock()->setDestinationNode(nullptr);
    rig.track.lock()->setDestinationMIDIEndpoint(destination);
    rig.player.setMIDIOutput(&service, port, clock);
    rig.player.start();
    // The clock stands still between steps, so each note arrives at the step that reaches its time.
    for (std::size_t step = 1; step <= 4; ++step) {
        ASSERT_TRUE(testsupport::waitUntil([&] { return noteOns() == step; })) << step;
        clock.advance(0.5);
    }
    rig.player.stop();
    EXPECT_EQ(received,
              (std::vector<std::pair<double, std::uint8_t>>{{0.0, 60}, {0.5, 61}, {1.0, 62}, {1.5, 63}}));
    EXPECT_GE(rig.player.time(), 3.0); // where the thread last looked
}
