#include "RozezEru/MIDI/Listeners/MIDIClockListeners.h"
#include "RozezEru/MIDI/Listeners/MIDIModeListeners.h"
#include "RozezEru/MIDI/MIDITimeout.h"
#include "tests/support/ManualTimers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

using namespace rozezeru;
using platform::mainQueue;

namespace {

struct Journal : MIDITempoObserver, MIDIBeatObserver {
    std::vector<std::string> lines;
    void midiClockFollowerMode() override { lines.push_back("follower"); }
    void midiClockLeaderEnabled() override { lines.push_back("leader"); }
    void receivedTempo(double, const std::string& text) override { lines.push_back("tempo " + text); }
    void prepareToPlay(bool continuing) override {
        lines.push_back(continuing ? "prepare continue" : "prepare");
    }
    void firstBeatStarted(bool continuing) override {
        lines.push_back(continuing ? "first continue" : "first");
    }
    void playbackStopped() override { lines.push_back("stopped"); }
    void receivedSongPositionBeat(std::uint64_t beat) override {
        lines.push_back("spp " + std::to_string(beat));
    }
    void receivedQuarterNote(std::uint8_t note) override {
        lines.push_back("quarter " + std::to_string(note));
    }
    bool isSameObserver(const ObserverProtocol& other) const override {
        return dynamic_cast<const Journal*>(&other) == this;
    }
};

using Lines = std::vector<std::string>;

struct Rig {
    testsupport::ManualTimerScheduler scheduler;
    std::shared_ptr<MIDITempoListener> tempo = MIDITempoListener::make(0.5, 10, scheduler);
    MIDIClockListener& clock = *tempo->clockListener;
    std::shared_ptr<Journal> journal = std::make_shared<Journal>();

    void send(std::uint8_t byte, MIDITimeStamp time = 0) {
        const std::uint8_t data[] = {byte};
        tempo->receivedMIDISystemCommand(data, std::nullopt, time);
        mainQueue().drain();
    }
    void clocks(int count) {
        for (int i = 0; i < count; ++i)
            send(0xF8, 1000 + clock.quantumCounter * 1000);
    }
    void pass(double seconds) {
        scheduler.advance(seconds);
        mainQueue().drain();
    }
    Lines heard() { return std::exchange(journal->lines, {}); }
};

} // namespace

TEST(MIDITimeout, ArmsOnTheMainQueueAndOneSuccessDisarmsEveryTimer) {
    Rig rig;
    int successes = 0, timeouts = 0;
    auto timeout = MIDITimeout::make(
        1.6, true, [&] { ++successes; }, [&] { ++timeouts; }, rig.scheduler);
    bool ran = false;
    timeout->perform([&] { ran = true; });
    EXPECT_TRUE(ran);
    rig.pass(2); // not armed before this: the arming waits for the main queue
    timeout->perform(nullptr);
    timeout->succeed(); // queued behind the second arming: disarms both
    mainQueue().drain();
    rig.pass(5);
    EXPECT_EQ(std::pair(successes, timeouts), std::pair(1, 0));
    timeout->perform(nullptr);
    mainQueue().drain();
    rig.pass(1.5);
    EXPECT_EQ(timeouts, 0);
    rig.pass(0.2);
    EXPECT_EQ(timeouts, 1);
    timeout->disableFailure = true;
    timeout->disableSuccess = true;
    timeout->perform(nullptr);
    mainQueue().drain();
    rig.pass(2);
    timeout->succeed();
    mainQueue().drain();
    EXPECT_EQ(std::pair(successes, timeouts), std::pair(1, 1));
}

TEST(MIDITempoListener, SteadyClockAt120ReportsExactly120) {
    Rig rig;
    rig.tempo->addTempoObserver(rig.journal);
    // Past 385 tempi, so the regression takes part as well as the plain average.
    for (int clock = 1; clock <= 500; ++clock)
        rig.send(0xF8, static_cast<MIDITimeStamp>(std::llround(1e9 + clock * 60e9 / 120 / 24)));
    ASSERT_TRUE(rig.tempo->bpmStats.lineFn);
    EXPECT_NEAR(rig.tempo->tempo, 120.0, 1e-4);
    EXPECT_EQ(rig.heard(), (Lines{"follower", "tempo 120.00"}));
    rig.pass(1.5);
    EXPECT_TRUE(rig.heard().empty());
    rig.pass(0.2);
    EXPECT_EQ(rig.heard(), Lines{"leader"});
    rig.send(0xFC);
    rig.send(0xF8, 5'000'000'000); // back again; a Stop leaves no clock to time the pause from
    EXPECT_EQ(rig.heard(), Lines{"follower"});
    rig.tempo->removeTempoObserver(*rig.journal);
    rig.send(0xF8, 5'010'000'000);
    EXPECT_TRUE(rig.heard().empty());
}

TEST(MIDIClockListener, CountsQuarterNotesAndSongPositionBeats) {
    Rig rig;
    auto& clock = rig.clock;
    clock.addObserver(rig.journal);
    rig.clocks(3); // stopped: only the quantum counter moves
    EXPECT_EQ(std::tuple(clock.quantumCounter, clock.fourCount, clock.sppMIDIBeatCounter),
              std::tuple(3u, 0, 0u));
    rig.send(0xFA);
    rig.clocks(1);
    EXPECT_EQ(rig.heard(), (Lines{"prepare", "first", "quarter 1", "spp 0"}));
    rig.clocks(24 * 4 + 2);
    EXPECT_EQ(std::tuple(clock.fourCount, clock.sppMIDIBeatCounter), std::tuple(1, 16u)); // 5th quarter is 1
    // Stopped in mid-beat and started again: the song-position beats restart with the first clock.
    rig.send(0xFC);
    EXPECT_EQ(rig.tempo->srtListener->state(), MIDISystemRealTimeListener::SRTState::paused);
    rig.send(0xFC);
    EXPECT_EQ(rig.tempo->srtListener->state(), MIDISystemRealTimeListener::SRTState::stopped);
    rig.send(0xFA);
    rig.heard();
    rig.clocks(7);
    EXPECT_EQ(rig.heard(), (Lines{"first", "quarter 1", "spp 0", "spp 1"}));
    // Start and Continue before one quarter note report one first beat, continuing.
    rig.send(0xFC);
    rig.send(0xFA);
    rig.send(0xFB);
    rig.heard();
    rig.clocks(1);
    EXPECT_EQ(rig.heard(), (Lines{"first continue", "quarter 1", "spp 0"}));
    clock.removeObserver(*rig.journal);
    rig.clocks(24);
    EXPECT_TRUE(rig.heard().empty());
}

TEST(MIDIModeListeners, FollowTheirControllersOnly) {
    MIDIOMNIListener omni(false);
    MIDIMonoPolyListener mono(false);
    const std::tuple<std::uint8_t, bool, bool> steps[] = {
        {125, true, false}, {125, true, false},  {126, true, true},  {123, true, true},
        {127, true, false}, {124, false, false}, {126, false, true},
    };
    for (const auto& [controller, omniAfter, monoAfter] : steps) {
        omni.receivedMIDIController(controller, 0, 9, std::nullopt, std::nullopt);
        mono.receivedMIDIController(controller, 0, 9, std::nullopt, std::nullopt);
        EXPECT_EQ(std::pair(omni.omniMode.load(), mono.monoMode.load()), std::pair(omniAfter, monoAfter))
            << int(controller);
    }
}
