#include "RozezEru/MIDI/Listeners/MIDIClockListeners.h"
#include "RozezEru/MIDI/Listeners/MIDIModeListeners.h"
#include "RozezEru/MIDI/MIDITimeout.h"

#include <gtest/gtest.h>

#include <cmath>

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

void send(MIDIListener& listener, std::uint8_t byte, MIDITimeStamp time = 0) {
    const std::uint8_t data[] = {byte};
    listener.receivedMIDISystemCommand(data, std::nullopt, time);
}

constexpr double nanosecondsPerClockAt120 = 60e9 / 120 / 24;

} // namespace

TEST(MIDITimeout, ArmsOnTheMainQueueAndOneSuccessDisarmsEveryTimer) {
    platform::ManualTimerScheduler scheduler;
    int successes = 0, timeouts = 0;
    auto timeout = MIDITimeout::make(
        1.6, true, [&] { ++successes; }, [&] { ++timeouts; }, scheduler);
    bool ran = false;
    timeout->perform([&] { ran = true; });
    EXPECT_TRUE(ran);
    scheduler.advance(2); // not armed yet: the arming waits for the main queue
    mainQueue().drain();
    timeout->perform(nullptr);
    timeout->succeed(); // queued behind the second arming: disarms both
    mainQueue().drain();
    scheduler.advance(5);
    mainQueue().drain();
    EXPECT_EQ(std::pair(successes, timeouts), std::pair(1, 0));

    timeout->perform(nullptr);
    mainQueue().drain();
    scheduler.advance(1.5);
    mainQueue().drain();
    EXPECT_EQ(timeouts, 0);
    scheduler.advance(0.2);
    mainQueue().drain();
    EXPECT_EQ(timeouts, 1);

    timeout->disableFailure = true;
    timeout->disableSuccess = true;
    timeout->perform(nullptr);
    mainQueue().drain();
    scheduler.advance(2);
    timeout->succeed();
    mainQueue().drain();
    EXPECT_EQ(std::pair(successes, timeouts), std::pair(1, 1));
}

TEST(MIDITempoListener, SteadyClockAt120ReportsExactly120) {
    platform::ManualTimerScheduler scheduler;
    auto listener = MIDITempoListener::make(0.5, 10, scheduler);
    auto journal = std::make_shared<Journal>();
    listener->addTempoObserver(journal);
    // Past 385 tempi, so the regression takes part as well as the plain average.
    for (int clock = 1; clock <= 500; ++clock) {
        send(*listener, 0xF8,
             static_cast<MIDITimeStamp>(std::llround(1e9 + clock * nanosecondsPerClockAt120)));
        mainQueue().drain();
    }
    ASSERT_TRUE(listener->bpmStats.lineFn);
    EXPECT_NEAR(listener->tempo, 120.0, 1e-4);
    EXPECT_EQ(journal->lines, (std::vector<std::string>{"follower", "tempo 120.00"}));
    scheduler.advance(1.5);
    mainQueue().drain();
    EXPECT_EQ(journal->lines.size(), 2u);
    scheduler.advance(0.2);
    mainQueue().drain();
    EXPECT_EQ(journal->lines.back(), "leader");
    send(*listener, 0xFC);
    send(*listener, 0xF8, 5'000'000'000);
    mainQueue().drain();
    EXPECT_EQ(journal->lines.back(), "follower"); // the clock is back; one clock gives no tempo yet
    listener->removeTempoObserver(*journal);
    send(*listener, 0xF8, 5'010'000'000);
    EXPECT_EQ(journal->lines.back(), "follower");
    mainQueue().drain();
}

TEST(MIDIClockListener, CountsQuarterNotesAndSongPositionBeats) {
    platform::ManualTimerScheduler scheduler;
    auto tempo = MIDITempoListener::make(0.5, 10, scheduler);
    auto journal = std::make_shared<Journal>();
    auto& clock = *tempo->clockListener;
    clock.addObserver(journal);
    auto clocks = [&](int count) {
        for (int i = 0; i < count; ++i)
            send(*tempo, 0xF8, 1000 + clock.quantumCounter * 1000);
        mainQueue().drain();
    };
    clocks(3); // stopped: only the quantum counter moves
    EXPECT_EQ(std::tuple(clock.quantumCounter, clock.fourCount, clock.sppMIDIBeatCounter),
              std::tuple(3u, 0, 0u));
    send(*tempo, 0xFA);
    clocks(1);
    EXPECT_EQ(journal->lines, (std::vector<std::string>{"prepare", "first", "quarter 1", "spp 0"}));
    clocks(24 * 4);
    EXPECT_EQ(clock.fourCount, 1); // the fifth quarter note counts as 1 again
    EXPECT_EQ(clock.sppMIDIBeatCounter, 16u);
    // Stopped in mid-beat, started again: the song-position beats restart at 0 on the first clock.
    clocks(2);
    send(*tempo, 0xFC);
    EXPECT_EQ(tempo->srtListener->state(), MIDISystemRealTimeListener::SRTState::paused);
    send(*tempo, 0xFC);
    EXPECT_EQ(tempo->srtListener->state(), MIDISystemRealTimeListener::SRTState::stopped);
    send(*tempo, 0xFA);
    journal->lines.clear();
    clocks(6);
    EXPECT_EQ(journal->lines, (std::vector<std::string>{"first", "quarter 1", "spp 0"}));
    clocks(1);
    EXPECT_EQ(journal->lines.back(), "spp 1");
    // Continue keeps the counters; Start and Continue before one quarter note report one first beat.
    send(*tempo, 0xFC);
    send(*tempo, 0xFA);
    send(*tempo, 0xFB);
    journal->lines.clear();
    clocks(1);
    EXPECT_EQ(journal->lines, (std::vector<std::string>{"first continue", "quarter 1", "spp 0"}));
    clock.removeObserver(*journal);
    clocks(24);
    EXPECT_EQ(journal->lines.size(), 3u);
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
