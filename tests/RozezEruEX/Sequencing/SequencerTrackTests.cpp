#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitRig.h"
#include "tests/support/Wait.h"

#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEruEX/CallbackInstrument.h"
#include "RozezEruEX/Sequencing/Sequencer.h"

#include <gtest/gtest.h>

#include <mutex>
#include <tuple>

using namespace rozezeru;
using testsupport::renderToolkit;

namespace {

using Heard = std::tuple<std::uint8_t, std::uint8_t, AUEventSampleTime>; // status, note, sample time

// An instrument in an offline engine of its own that keeps what reaches it.
struct Listener {
    std::mutex mutex;
    std::vector<Heard> heard;
    std::shared_ptr<CallbackInstrument> node =
        std::make_shared<CallbackInstrument>([this](std::uint8_t s, std::uint8_t d1, std::uint8_t, auto t) {
            std::lock_guard lock(mutex);
            heard.emplace_back(s, d1, t);
        });
    std::unique_ptr<AudioEngine> engine = testsupport::offlineToolkitEngine(node, 10.0);

    std::vector<Heard> waitFor(std::size_t count) {
        EXPECT_TRUE(testsupport::waitUntil([&] {
            std::lock_guard lock(mutex);
            return heard.size() >= count;
        }));
        std::lock_guard lock(mutex);
        return heard;
    }
};

std::vector<std::string> lengthLog(const testsupport::ToolkitLogCapture& log) {
    return log.contents("SequencerTrack.cpp", "sequence");
}

} // namespace

TEST(SequencerTrack, PlaysItsNotesIntoTheTargetAtTheirFramesAndResumesAfterAStop) {
    Listener target;
    SequencerTrack track(target.node);
    for (int beat = 0; beat < 4; ++beat)
        track.add(std::uint8_t(60 + beat), 100, beat, 0.5);
    track.playFromStart();
    renderToolkit(*target.engine, 44544); // beats 0 and 1, into the second
    track.stop();
    renderToolkit(*target.engine, 5120);
    EXPECT_FALSE(track.isPlaying());
    track.play();
    renderToolkit(*target.engine, 44544);
    auto heard = target.waitFor(8);
    heard.resize(8); // the second pass has begun
    const AUEventSampleTime t0 = std::get<2>(heard[0]);
    EXPECT_EQ(heard, (std::vector<Heard>{{0x90, 60, t0},
                                         {0x80, 60, t0 + 11025},
                                         {0x90, 61, t0 + 22050},
                                         {0x80, 61, t0 + 33075},
                                         {0x90, 62, t0 + 44100},
                                         {0x80, 62, t0 + 44544 + 1}, // stopped, then 5120 frames later:
                                         {0x80, 62, t0 + 55125 + 5120},
                                         {0x90, 63, t0 + 66150 + 5120}}));
}

TEST(SequencerTrack, LengthensOnlyForEventsBeyondItsEnd) {
    struct Case {
        const char* name;
        std::vector<std::pair<double, double>> notes; // position, duration
        double length;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"sixteen steps filling the bar exactly", {}, 4.0, {}},
        {"a note ending at beat 7.5",
         {{7.0, 0.5}},
         7.5,
         {"Warning: Note event sequence duration exceeds the bounds of the sequencer track",
          "Track length set to 7.5 beats"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ToolkitLogCapture log;
        SequencerTrack track(std::make_shared<Mixer>());
        NoteEventSequence sequence;
        for (int step = 0; c.notes.empty() && step < 16; ++step)
            sequence.add(60, 100, step * 0.25, 0.25);
        for (auto [position, duration] : c.notes)
            sequence.add(60, 100, position, duration);
        track.setSequence(sequence);
        EXPECT_EQ(track.length(), c.length);
        EXPECT_EQ(lengthLog(log), c.log);
    }
}

TEST(SequencerTrack, ATargetWithoutAUnitSaysSoOnEveryChangeAndNeverPlays) {
    testsupport::ToolkitLogCapture log;
    SequencerTrack track(std::make_shared<Mixer>());
    track.add(60, 100, 0.0, 1.0);
    track.setLength(8.0);
    track.setLoopEnabled(false);
    track.setTempo(90.0); // queued, not republished
    EXPECT_EQ(log.contents("SequencerTrack.cpp", "updateSequence()"),
              std::vector<std::string>(3, "Failed to get AUScheduleMIDIEventBlock"));
    EXPECT_FALSE(track.renderObserverToken());
}

TEST(SequencerTrack, TheObserverFollowsANewTargetAndGoingAwayReleasesTheSoundingNotes) {
    Listener first, second;
    auto track = std::make_unique<SequencerTrack>(first.node);
    track->add(60, 100, 0.0, 3.0);
    track->setTargetNode(second.node);
    track->playFromStart();
    renderToolkit(*first.engine, 1024);
    renderToolkit(*second.engine, 1024);
    track.reset(); // note 60 still sounds
    renderToolkit(*first.engine, 88200);
    renderToolkit(*second.engine, 88200);
    const auto heard = second.waitFor(2);
    EXPECT_EQ(std::get<0>(heard[0]), 0x90);
    EXPECT_EQ(std::get<0>(heard[1]), 0x80);
    EXPECT_EQ(std::get<1>(heard[1]), 60);
    std::lock_guard lock(first.mutex);
    EXPECT_TRUE(first.heard.empty());
}

TEST(Sequencer, SettingsSpanTheTracksAndBadIndicesChangeNothing) {
    testsupport::ToolkitLogCapture log;
    Sequencer none;
    EXPECT_EQ(none.tempo(), 0.0);
    EXPECT_EQ(log.contents("Sequencer.cpp", "init(targetNodes:)"),
              std::vector<std::string>{
                  "no nodes connected to sequencer at init - be sure to connect some via addTrack"});

    Listener a, b;
    Sequencer sequencer(std::vector<std::shared_ptr<Node>>{a.node, b.node});
    sequencer.tracks()[1]->setLength(8.0);
    EXPECT_EQ(sequencer.length(), 4.0);
    sequencer.setLength(8.0);
    EXPECT_EQ(sequencer.tracks()[0]->length(), 8.0);
    EXPECT_EQ(sequencer.track(*b.node), sequencer.tracks()[1].get());
    sequencer.add(MIDIEvent{0x90, 60, 100}, 1.0, 2);
    sequencer.add(60, 100, 0, 1.0, 1.0, -1);
    EXPECT_EQ(log.contents("Sequencer.cpp", "add(event:position:trackIndex:)"),
              std::vector<std::string>{"Track index 2 out of range (sequencer has 2 tracks)"});
    EXPECT_EQ(log.contents("Sequencer.cpp", "add(noteNumber:velocity:channel:position:duration:trackIndex:)"),
              std::vector<std::string>{"Track index -1 out of range (sequencer has 2 tracks)"});
    EXPECT_EQ(sequencer.tracks()[0]->sequence(), NoteEventSequence{});
}

TEST(Sequencer, LoadingGivesFileTrackIToTrackIWithItsOwnLength) {
    testsupport::ToolkitLogCapture log;
    auto event = [](std::initializer_list<std::uint8_t> bytes, double beat) {
        MIDIEvent e(bytes);
        e.positionInBeats = beat;
        return e;
    };
    const std::vector<SequencerFileTrack> file = {
        {{event({0x90, 60, 100}, 1.0), event({0x80, 60, 0}, 2.0), event({0xC0, 5}, 0.0)}, 4.0},
        {{event({0x91, 64, 90}, 12.0), MIDIEvent{0x90, 1, 1}}, 16.0},
        {{event({0x90, 67, 80}, 3.0)}, 0.0}, // no meta event: it ends at its last event
    };
    std::vector<std::shared_ptr<Node>> nodes;
    for (int i = 0; i < 4; ++i)
        nodes.push_back(std::make_shared<Mixer>());
    Sequencer sequencer(nodes);
    sequencer.add(72, 100, 0, 0.0, 1.0, 3);
    sequencer.load(file);
    const auto& tracks = sequencer.tracks();
    EXPECT_EQ(tracks[0]->sequence().events,
              (std::vector<SequenceEvent>{{0x90, 60, 100, 1.0}, {0x80, 60, 0, 2.0}}));
    EXPECT_EQ(tracks[1]->sequence().events, (std::vector<SequenceEvent>{{0x91, 64, 90, 12.0}}));
    EXPECT_EQ(
        (std::vector{tracks[0]->length(), tracks[1]->length(), tracks[2]->length(), tracks[3]->length()}),
        (std::vector{4.0, 16.0, 3.0, 4.0}));
    EXPECT_EQ(tracks[3]->sequence().notes.size(), 1u);

    Sequencer two(std::vector<std::shared_ptr<Node>>{nodes[0], nodes[1]});
    two.load(file);
    EXPECT_EQ(
        log.contents("Sequencer.cpp", "load(midiFile:)"),
        std::vector<std::string>{"Error: Track count and file track count do not match  dropped 1 tracks"});
}
