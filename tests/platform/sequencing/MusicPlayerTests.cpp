#include "platform/sequencing/MusicPlayer.h"
#include "tests/platform/audio/GainTestUnit.h"
#include "tests/support/AllocationTrap.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/foundation/HostTime.h"
#include "platform/midi/LoopbackMIDIService.h"
#include "tests/support/Clocks.h"
#include "tests/support/MIDIFileBytes.h"
#include "tests/support/Wait.h"

#include <mutex>
#include <optional>

#include <gtest/gtest.h>

using namespace platform;
using namespace unittest;

namespace {

// An instrument that records the MIDI it receives, rendered cycle by cycle as an offline engine would.
struct Instrument {
    GainTestUnit unit{{code("aumu"), code("inst"), code("Test"), 0, 0}, 0};
    std::shared_ptr<PcmBuffer> buffer = PcmBuffer::make(unitStereo(), 512);
    std::int64_t rendered = 0;
    std::optional<std::uint64_t> hostAtZero; // set: each period is stamped with the host time it plays at

    Instrument() { EXPECT_TRUE(unit.allocateRenderResources()); }
    void render(std::int64_t frames) {
        AudioBufferList list = buffer->bufferList(512);
        testsupport::AllocationTrap::resetCounts();
        testsupport::ScopedRenderThread rendering;
        for (std::int64_t end = rendered + frames; rendered < end; rendered += 512)
            ASSERT_EQ(unit.render(hostAtZero ? AudioTime::withBoth(*hostAtZero + hostTicks(rendered),
                                                                   rendered, 44100.0)
                                             : AudioTime::withSampleTime(rendered, 44100.0),
                                  512, 0, list, AudioUnitPullInput::none()),
                      RenderStatus::success);
        // The player's observer and the events it schedules take nothing from the heap.
        EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
    }
    static std::uint64_t hostTicks(double frames) { return secondsToHostTime(frames / 44100.0); }
    // Every message as (frame, bytes).
    std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>> messages() const {
        std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>> out;
        for (std::size_t i = 0; i < unit.midiCount(); ++i)
            out.emplace_back(unit.midi(i).time,
                             std::vector<std::uint8_t>(unit.midi(i).data.begin(),
                                                       unit.midi(i).data.begin() + unit.midi(i).length));
        return out;
    }
    std::vector<std::pair<std::int64_t, int>> noteOns() const { return unit.noteOns(); }
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
        {"looping", {{0, 120}}, {4, 0, {}}, 176128, {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350}},
        {"two loops",
         {{0, 120}},
         {4, 2, {}},
         300000,
         {0, 22050, 44100, 66150, 88200, 110250, 132300, 154350}},
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
    testsupport::FakeClock clock;
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

TEST(MusicPlayer, LoopsPlayToTheLoopEndThenRepeatTheLoopBeforeIt) {
    // Notes 60 to 63 on beats 0 to 3 of a 4-beat track, one beat (22050 frames) apart.
    using Case = std::tuple<const char*, MusicTrackLoopInfo, std::vector<int>>;
    const Case cases[] = {
        {"last two beats", {2, 0, {}}, {60, 61, 62, 63, 62, 63, 62, 63}},
        {"last two beats twice", {2, 2, {}}, {60, 61, 62, 63, 62, 63}},
        {"beats 1 to 3", {2, 0, 3.0}, {60, 61, 62, 61, 62, 61, 62, 61}},
        // Longer than the track: a beat and a half of silence before each repeat.
        {"six beats", {6, 0, {}}, {60, 61, 62, 63, -1, -1, 60, 61}},
        {"a loop of nothing", {0.5, 0, 4.5}, {60, 61, 62, 63, -1, -1, -1, -1}},
    };
    for (const auto& [name, loop, notes] : cases) {
        Rig rig({{0, 120}});
        rig.track.lock()->setLoopInfo(loop);
        rig.player.start();
        rig.instrument.render(176128); // eight beats, in whole periods
        std::vector<std::pair<std::int64_t, int>> expected;
        for (std::size_t beat = 0; beat < notes.size(); ++beat)
            if (notes[beat] >= 0) expected.emplace_back(std::int64_t(beat) * 22050, notes[beat]);
        EXPECT_EQ(rig.instrument.noteOns(), expected) << name;
    }
    // A looping track with nothing in it sends nothing, and the period still ends.
    {
        Rig rig({{0, 120}});
        rig.track.lock()->clear(0, 4);
        rig.track.lock()->setLoopInfo({4, 0, {}});
        rig.player.start();
        rig.instrument.render(1024);
        EXPECT_TRUE(rig.instrument.messages().empty());
    }
    // Started inside a later pass, a loop plays on from there.
    Rig rig({{0, 120}});
    rig.track.lock()->setLoopInfo({2, 0, {}});
    rig.player.setTime(5.5); // beat 3.5 of the track, in the first repeat
    rig.player.start();
    rig.instrument.render(2 * 22050);
    EXPECT_EQ(rig.instrument.noteOns(),
              (std::vector<std::pair<std::int64_t, int>>{{11025, 62}, {33075, 63}}));
}

namespace {

// One track at 96 ticks per beat, 120 BPM: the events, and the track's end on the tick of the last.
void loadTrack(MusicSequence& sequence, const testsupport::MIDIBytes& events) {
    using namespace testsupport;
    const auto body = join({events, endOfTrack});
    EXPECT_EQ(sequence.loadFileData(join({header(0, 1, 96), chunk("MTrk", body)})), noErr);
}

} // namespace

TEST(MusicPlayer, MessagesOnTheEndTickAreSentInFileOrderBeforeTheTrackEndsOrLoops) {
    using Bytes = std::vector<std::uint8_t>;
    // A note on beat 0, then a controller, a pitch bend and a program change on beat 2, where the
    // track ends.
    const testsupport::MIDIBytes events = {0x00, 0x90, 60,   100,  0x60, 0x80, 60,   0,    0x60, 0xB0,
                                           7,    90,   0x00, 0xE0, 0,    64,   0x00, 0xC0, 5};
    for (bool looping : {false, true}) {
        MusicSequence sequence;
        loadTrack(sequence, events);
        Instrument instrument;
        MusicPlayer player;
        player.setSequence(&sequence);
        ASSERT_EQ(sequence.indTrack(0).lock()->length(), 2.0);
        if (looping) sequence.indTrack(0).lock()->setLoopInfo({2, 0, {}});
        player.setDestination(sequence.indTrack(0), &instrument.unit);
        player.start();
        instrument.render(44544); // just past the end at beat 2 (frame 44100)
        std::vector<std::pair<std::int64_t, Bytes>> expected{{0, {0x90, 60, 100}},
                                                             {22050, {0x80, 60, 0}},
                                                             {44100, {0xB0, 7, 90}},
                                                             {44100, {0xE0, 0, 64}},
                                                             {44100, {0xC0, 5}}};
        if (looping) expected.push_back({44100, {0x90, 60, 100}}); // the next pass starts after them
        EXPECT_EQ(instrument.messages(), expected) << looping;
        player.stop();
    }
}

TEST(MusicPlayer, ANoteEndingWhereItStartsEndsAtOnceAndOffsStillComeFirst) {
    using Bytes = std::vector<std::uint8_t>;
    // On beat 1: note 62 ends and starts again, and note 60 starts and ends at once.
    const testsupport::MIDIBytes events = {0x00, 0x90, 62, 100, 0x60, 0x80, 62, 0,   0x00, 0x90, 60, 100,
                                           0x00, 0x80, 60, 0,   0x00, 0x90, 62, 100, 0x60, 0x80, 62, 0};
    MusicSequence sequence;
    loadTrack(sequence, events);
    Instrument instrument;
    MusicPlayer player;
    player.setSequence(&sequence);
    player.setDestination(sequence.indTrack(0), &instrument.unit);
    player.start();
    instrument.render(44544);
    EXPECT_EQ(instrument.messages(), (std::vector<std::pair<std::int64_t, Bytes>>{{0, {0x90, 62, 100}},
                                                                                  {22050, {0x80, 62, 0}},
                                                                                  {22050, {0x90, 60, 100}},
                                                                                  {22050, {0x80, 60, 0}},
                                                                                  {22050, {0x90, 62, 100}},
                                                                                  {44100, {0x80, 62, 0}}}));
}

TEST(MusicPlayer, HostTimesAndBeatsConvertOnTheRenderedPeriodsWhilePlaying) {
    // 120 BPM to beat 2 (one second), 60 BPM after it.
    using Case = std::tuple<double, double, double>; // rate, beats, seconds after the start
    const Case cases[] = {{1, 1, 0.5},      {1, 2, 1.0}, {1, 3, 2.0},
                          {1, 0.25, 0.125}, {2, 3, 1.0}, {2, 0.5, 0.125}};
    const std::uint64_t start = secondsToHostTime(1000);
    const double frame = 1.0 / 44100;
    for (const auto& [rate, beats, seconds] : cases) {
        Rig rig({{0, 120}, {2, 60}});
        rig.instrument.hostAtZero = start;
        std::uint64_t host = 0;
        double back = 0;
        EXPECT_EQ(rig.player.hostTimeForBeats(beats, host), kAudioToolboxErr_InvalidPlayerState);
        EXPECT_EQ(rig.player.beatsForHostTime(start, back), kAudioToolboxErr_InvalidPlayerState);
        ASSERT_EQ(rig.player.setPlayRateScalar(rate), noErr);
        rig.player.start();
        rig.instrument.render(30720); // the answers come from the latest period, not the first
        ASSERT_EQ(rig.player.hostTimeForBeats(beats, host), noErr);
        EXPECT_NEAR(hostTimeToSeconds(host) - hostTimeToSeconds(start), seconds, frame)
            << rate << " " << beats;
        ASSERT_EQ(rig.player.beatsForHostTime(start + secondsToHostTime(seconds), back), noErr);
        EXPECT_NEAR(back, beats, frame * 2 * rate) << rate << " " << beats;
        rig.player.stop();
        EXPECT_EQ(rig.player.hostTimeForBeats(beats, host), kAudioToolboxErr_InvalidPlayerState);
    }
}

TEST(MusicPlayer, APlayerWithNothingRoutedMovesOnItsClock) {
    MusicSequence sequence;
    sequence.newTrack().lock()->addEvent(0, MIDINoteMessage{0, 60, 100, 0, 8});
    testsupport::FakeClock clock;
    MusicPlayer player;
    player.setSequence(&sequence);
    player.setClock(clock);
    player.start();
    clock.advance(1.5);
    EXPECT_DOUBLE_EQ(player.time(), 3.0);
    player.stop();
    clock.advance(1.0);
    EXPECT_DOUBLE_EQ(player.time(), 3.0); // stopped: it stays
    ASSERT_EQ(player.setPlayRateScalar(2), noErr);
    player.start();
    clock.advance(0.25);
    EXPECT_DOUBLE_EQ(player.time(), 4.0);
    // Its host times follow from where and when it started.
    std::uint64_t host = 0;
    ASSERT_EQ(player.hostTimeForBeats(player.time(), host), noErr);
    EXPECT_GT(host, 0u);
}
