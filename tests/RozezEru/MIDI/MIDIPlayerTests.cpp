#include "RozezEru/MIDI/MIDIPlayer.h"
#include "platform/foundation/Files.h"
#include "tests/RozezEru/Nodes/NodeTestRig.h"
#include "tests/support/MIDIFileBytes.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <functional>

using namespace rozezeru;
using namespace testsupport;
using NoteOns = std::vector<std::pair<platform::AUEventSampleTime, int>>;

TEST(MIDIPlayer, PlaysABundledFileIntoItsUnitAtExactFrames) {
    TemporaryFolder folder;
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("song.mid"), tracksOf16And24Beats()));
    auto recorder = std::make_shared<nodetest::GainNode>(std::vector<std::shared_ptr<Node>>{}, 0);
    auto engine = offlineToolkitEngine(recorder, 20.0);
    MIDIPlayer player(engine->avEngine(), "song", Bundle(folder.path));
    player.setDestination(*std::static_pointer_cast<platform::AudioUnitNode>(recorder->avAudioNode()));
    player.play();
    (void)renderToolkit(*engine, 4 * 22050);
    // The loop ranges the next test sets on the tracks are the platform sequencer tests' to play.
    EXPECT_EQ(recorder->unit().noteOns(), (NoteOns{{0, 60}, {22050, 64}, {44100, 62}}));
}

TEST(MIDIPlayer, LengthLoopingAndRelativePositionFollowTheLongestTrack) {
    platform::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    MIDIPlayer player(engine, "absent");
    player.sequence(tracksOf16And24Beats());
    ASSERT_EQ(player.endIndex(), 2);
    EXPECT_EQ(std::pair(player.length().beats, player.length().tempo), std::pair(24.0, 120.0));
    // Each track's (length, loop range, looping) after each step; lengths of 0 are not looked at.
    const std::pair<std::function<void()>, std::tuple<double, platform::MusicBeatRange, bool>> steps[] = {
        {[&] { player.enableLooping(); }, {0, {0, 24}, true}},
        {[&] { player.toggleLoop(); }, {0, {0, 24}, false}},
        {[&] { player.setLength(Duration(8.0)); }, {8, {0, 8}, false}},
    };
    for (const auto& [step, expected] : steps) {
        step();
        for (int i = player.startIndex(); i < player.endIndex(); i = player.index(i))
            EXPECT_EQ(std::tuple(std::get<0>(expected) ? player[i].lengthInBeats() : 0.0,
                                 player[i].loopRange(), player[i].isLoopingEnabled()),
                      expected);
        EXPECT_EQ(player.loopEnabled(), std::get<2>(expected));
    }
    EXPECT_THROW(player[2], std::out_of_range);

    player.sequence(tracksOf16And24Beats());
    player.setCurrentPositionInBeats(30);
    EXPECT_EQ(std::pair(player.currentRelativePosition().beats, player.currentRelativePosition().tempo),
              std::pair(6.0, 60.0));
    // Without tracks: looping only flips the flag, and the position wraps into nothing.
    player.sequence(MIDIBytes{});
    player.enableLooping();
    EXPECT_TRUE(player.loopEnabled());
    player.toggleLoop();
    EXPECT_EQ(std::tuple(player.loopEnabled(), player.length().beats, player.currentRelativePosition().beats),
              std::tuple(false, 0.0, 0.0));
}

TEST(MIDIPlayer, FailuresAreLoggedAndAMissingResourceIsNot) {
    TemporaryFolder folder;
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("song.mid"), tracksOf16And24Beats()));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("broken.mid"), {'M', 'T', 'h', 'd', 0}));
    const Bundle bundle(folder.path);
    const std::tuple<const char*, std::function<void(MIDIPlayer&)>, std::vector<std::string>, int> cases[] = {
        {"loadMIDIFile(_:)", [&](MIDIPlayer& p) { p.loadMIDIFile("absent", bundle); }, {}, 2},
        {"loadMIDIFile(_:)",
         [&](MIDIPlayer& p) { p.loadMIDIFile("broken", bundle); },
         {"failed to load MIDI into sequencer"},
         0},
        {"sequence(from:)",
         [](MIDIPlayer& p) {
             p.sequence(MIDIBytes{1, 2, 3});
         },
         {"cannot load from data The data is not a standard MIDI file."},
         0},
        {"play()", [](MIDIPlayer& p) { p.play(); }, {"Could not start the sequencer"}, 2},
    };
    platform::AudioEngine engine(std::make_unique<platform::NullAudioDevice>()); // never started
    for (const auto& [function, act, records, tracksAfter] : cases) {
        MIDIPlayer player(engine, "song", bundle);
        ToolkitLogCapture capture;
        act(player);
        EXPECT_EQ(capture.contents("MIDIPlayer.cpp", function), records) << function;
        EXPECT_EQ(std::pair(capture.sink.records().size(), player.endIndex()),
                  std::pair(records.size(), tracksAfter))
            << function;
    }
}
