#include "RozezEru/MIDI/MIDIPlayer.h"
#include "platform/foundation/Files.h"
#include "tests/RozezEru/Nodes/NodeTestRig.h"
#include "tests/support/MIDIFileBytes.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using namespace rozezeru;
using namespace testsupport;

namespace {

// Format 1 at 96 ticks per beat and 120 BPM: note 60 at beat 0 and 62 at beat 2 in a track of 16 beats,
// note 64 at beat 1 in a track of 24.
MIDIBytes twoTrackFile() {
    const MIDIBytes first = join({{0x00, 0x90, 60, 100},
                                  vlq(96),
                                  {0x80, 60, 0},
                                  vlq(96),
                                  {0x90, 62, 100},
                                  vlq(96),
                                  {0x80, 62, 0},
                                  vlq(13 * 96),
                                  {0xFF, 0x2F, 0x00}});
    const MIDIBytes second =
        join({vlq(96), {0x90, 64, 100}, vlq(48), {0x80, 64, 0}, vlq(22 * 96 + 48), {0xFF, 0x2F, 0x00}});
    return join({header(1, 3, 96), chunk("MTrk", join({{0x00}, tempo(500000), endOfTrack})),
                 chunk("MTrk", first), chunk("MTrk", second)});
}

// (frame from `from`, note) of every note-on the unit received from sample time `from` on.
std::vector<std::pair<std::int64_t, int>> noteOns(const unittest::GainTestUnit& unit, std::int64_t from) {
    std::vector<std::pair<std::int64_t, int>> out;
    for (std::size_t i = 0; i < unit.midiCount(); ++i)
        if (const auto& m = unit.midi(i); m.time >= from && (m.data[0] & 0xF0) == 0x90)
            out.emplace_back(m.time - from, m.data[1]);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(MIDIPlayer, PlaysABundledFileIntoItsUnitAtExactFramesAndLoopsOverAGivenLength) {
    TemporaryFolder folder;
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("song.mid"), twoTrackFile()));
    auto recorder = std::make_shared<nodetest::GainNode>(std::vector<std::shared_ptr<Node>>{}, 0);
    auto engine = offlineToolkitEngine(recorder, 20.0);
    MIDIPlayer player(engine->avEngine(), "song", Bundle(folder.path));
    player.setDestination(*std::static_pointer_cast<platform::AudioUnitNode>(recorder->avAudioNode()));
    player.play();
    (void)renderToolkit(*engine, 4 * 22050);
    EXPECT_EQ(noteOns(recorder->unit(), 0),
              (std::vector<std::pair<std::int64_t, int>>{{0, 60}, {22050, 64}, {44100, 62}}));

    player.stop();
    player.rewind();
    player.enableLooping(Duration(2.0));
    player.play();
    (void)renderToolkit(*engine, 6 * 22050);
    EXPECT_EQ(noteOns(recorder->unit(), 4 * 22050),
              (std::vector<std::pair<std::int64_t, int>>{
                  {0, 60}, {22050, 64}, {44100, 60}, {66150, 64}, {88200, 60}, {110250, 64}}));
    EXPECT_DOUBLE_EQ(player.currentPosition().beats, 6.0);
}

TEST(MIDIPlayer, LengthLoopingAndRelativePositionFollowTheLongestTrack) {
    platform::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    MIDIPlayer player(engine, "absent");
    player.sequence(twoTrackFile());
    ASSERT_EQ(player.endIndex(), 2);
    EXPECT_EQ(std::pair(player.length().beats, player.length().tempo), std::pair(24.0, 120.0));

    auto expectTracks = [&](double length, platform::MusicBeatRange range, bool looping) {
        for (int i = player.startIndex(); i < player.endIndex(); i = player.index(i)) {
            EXPECT_EQ(player[i].loopRange(), range);
            EXPECT_EQ(player[i].isLoopingEnabled(), looping);
            if (length > 0) EXPECT_EQ(player[i].lengthInBeats(), length);
        }
    };
    player.enableLooping();
    expectTracks(0, {0, 24}, true);
    player.toggleLoop();
    expectTracks(0, {0, 24}, false);
    EXPECT_FALSE(player.loopEnabled());
    player.setLength(Duration(8.0));
    expectTracks(8, {0, 8}, false);
    EXPECT_THROW(player[2], std::out_of_range);

    player.sequence(twoTrackFile());
    player.setCurrentPositionInBeats(30);
    EXPECT_EQ(std::pair(player.currentRelativePosition().beats, player.currentRelativePosition().tempo),
              std::pair(6.0, 60.0));

    // Without tracks: looping only flips the flag, and the position wraps into nothing.
    player.sequence(MIDIBytes{});
    player.enableLooping();
    EXPECT_TRUE(player.loopEnabled());
    player.toggleLoop();
    EXPECT_FALSE(player.loopEnabled());
    EXPECT_EQ(player.length().beats, 0.0);
    EXPECT_EQ(player.currentRelativePosition().beats, 0.0);
}

TEST(MIDIPlayer, FailuresAreLoggedAndAMissingResourceIsNot) {
    TemporaryFolder folder;
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("song.mid"), twoTrackFile()));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("broken.mid"), {'M', 'T', 'h', 'd', 0}));
    const Bundle bundle(folder.path);
    struct Case {
        const char* function;
        std::function<void(MIDIPlayer&)> act;
        std::vector<std::string> records;
        int tracksAfter;
    };
    const Case cases[] = {
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
    for (const auto& c : cases) {
        MIDIPlayer player(engine, "song", bundle);
        ToolkitLogCapture capture;
        c.act(player);
        EXPECT_EQ(capture.contents("MIDIPlayer.cpp", c.function), c.records) << c.function;
        EXPECT_EQ(capture.sink.records().size(), c.records.size()) << c.function;
        EXPECT_EQ(player.endIndex(), c.tracksAfter) << c.function;
    }
}
