#include "tests/support/MIDIFileBytes.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitRig.h"
#include "tests/support/Wait.h"

#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEru/MIDI/MIDIFile/MIDIFile.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEruEX/CallbackInstrument.h"
#include "RozezEruEX/Sequencing/Sequencer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <tuple>

using namespace rozezeru;
using namespace testsupport;

namespace {
using Heard = std::tuple<std::uint8_t, std::uint8_t, AUEventSampleTime>; // status, note, sample time

// An instrument in an offline engine of its own that keeps what reaches it.
struct Listener {
    std::mutex mutex;
    std::vector<Heard> heard;
    std::shared_ptr<CallbackInstrument> node =
        std::make_shared<CallbackInstrument>([this](auto s, auto d, auto, auto t) {
            std::lock_guard lock(mutex);
            heard.emplace_back(s, d, t);
        });
    std::unique_ptr<AudioEngine> engine = offlineToolkitEngine(node, 10.0);

    std::vector<Heard> waitFor(std::size_t count) {
        EXPECT_TRUE(waitUntil([&] { return std::lock_guard(mutex), heard.size() >= count; }));
        std::lock_guard lock(mutex);
        return {heard.begin(), heard.begin() + std::ptrdiff_t(std::min(count, heard.size()))};
    }
};
} // namespace

TEST(NoteEventSequence, OrdersByBeatReleasesFirstTakesOnlyChannelMessagesAndRemovesEveryMatch) {
    NoteEventSequence sequence;
    sequence.addEvent(0xB0, 7, 100, 4.0);
    sequence.addEvent(0xC0, 1, 0, 4.0); // a program change goes before a control change
    sequence.add(60, 100, 3.75, 0.25);
    sequence.add(62, 90, 4.0, 1.0);
    sequence.add(64, 90, 4.0, 1.0);
    EXPECT_EQ(sequence.orderedEvents(), (std::vector<SequenceEvent>{{0x90, 60, 100, 3.75},
                                                                    {0xC0, 1, 0, 4.0},
                                                                    {0x80, 60, 100, 4.0},
                                                                    {0xB0, 7, 100, 4.0},
                                                                    {0x90, 62, 90, 4.0},
                                                                    {0x90, 64, 90, 4.0},
                                                                    {0x80, 62, 90, 5.0},
                                                                    {0x80, 64, 90, 5.0}}));
    sequence.add(MIDIEvent::programChange(3, 0), 1.0);
    sequence.add(MIDIEvent{0xF2, 1, 2}, 1.0);
    sequence.add(MIDIEvent{0xE1, 0, 64}, 1.0);
    sequence.removeNote(4.0);
    sequence.removeNotes(60);
    sequence.removeEvent(4.0);
    EXPECT_EQ(sequence, (NoteEventSequence{{}, {{0xE1, 0, 64, 1.0}}, 2.25}));
}

TEST(SequencerTrack, PlaysIntoItsNewestTargetAfterTheDelayAskedForAndReleasesItsNotesOnGoing) {
    Listener first, second;
    auto track = std::make_unique<SequencerTrack>(first.node);
    for (int beat = 0; beat < 4; ++beat)
        track->add(std::uint8_t(60 + beat), 100, beat, 0.5);
    track->setTargetNode(second.node); // the observer moves along
    renderToolkit(*second.engine, 512);
    track->playAfterDelay(2.0);
    renderToolkit(*first.engine, 2 * 88200);
    renderToolkit(*second.engine, 44100 + 88200 + 512);
    track.reset(); // note 60 of the second pass still sounds
    renderToolkit(*second.engine, 512);
    std::vector<AUEventSampleTime> times;
    for (const Heard& heard : second.waitFor(10))
        times.push_back(std::get<2>(heard) - 512 - 44100);
    EXPECT_EQ(times, (std::vector<AUEventSampleTime>{0, 11025, 22050, 33075, 44100, 55125, 66150, 77175,
                                                     88200, 88200 + 512 + 1}));
    std::lock_guard lock(first.mutex);
    EXPECT_TRUE(first.heard.empty());
}

TEST(SequencerTrack, LengthensOnlyForAnEventBeyondItsEndAndSaysWhyATargetCannotPlay) {
    ToolkitLogCapture log;
    SequencerTrack track(std::make_shared<Mixer>());
    for (int step = 0; step < 16; ++step)
        track.add(60, 100, step * 0.25, 0.25); // fills the 4 beats exactly: no change
    track.add(60, 100, 7.0, 0.5);
    EXPECT_EQ(track.length(), 7.5);
    EXPECT_EQ(log.contents("SequencerTrack.cpp", "sequence"),
              (std::vector<std::string>{
                  "Warning: Note event sequence duration exceeds the bounds of the sequencer track",
                  "Track length set to 7.5 beats"}));
    track.setTempo(90.0); // queued, not republished
    EXPECT_EQ(log.contents("SequencerTrack.cpp", "updateSequence()"),
              std::vector<std::string>(17, "Failed to get AUScheduleMIDIEventBlock"));
}

TEST(Sequencer, LoadingAFileGivesFileTrackIToTrackIWithItsOwnLength) {
    ToolkitLogCapture log;
    // Format 1 at 96 ticks per beat: a tempo track, then tracks of 4 and 16 beats and one without an end.
    const MIDIBytes file =
        join({header(1, 4, 96), chunk("MTrk", join({{0x00}, tempo(500000), endOfTrack})),
              chunk("MTrk", join({{0x60, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xC0, 5},
                                  {0x81, 0x40},
                                  {0xFF, 0x2F, 0x00}})),
              chunk("MTrk", join({{0x00, 0x91, 64, 90}, vlq(16 * 96), {0xFF, 0x2F, 0x00}})),
              chunk("MTrk", {0x82, 0x20, 0x90, 67, 80})});
    std::vector<std::shared_ptr<Node>> nodes(4);
    std::ranges::generate(nodes, [] { return std::make_shared<Mixer>(); });
    Sequencer sequencer(nodes);
    sequencer.add(72, 100, 0, 0.0, 1.0, 3);
    sequencer.load(MIDIFile(file, "three.mid"));
    const auto& tracks = sequencer.tracks();
    EXPECT_EQ(tracks[0]->sequence().events,
              (std::vector<SequenceEvent>{{0x90, 60, 100, 1.0}, {0x80, 60, 0, 2.0}}));
    EXPECT_EQ(tracks[1]->sequence().events, (std::vector<SequenceEvent>{{0x91, 64, 90, 0.0}}));
    EXPECT_EQ(
        (std::vector{tracks[0]->length(), tracks[1]->length(), tracks[2]->length(), tracks[3]->length()}),
        (std::vector{4.0, 16.0, 3.0, 4.0}));
    EXPECT_EQ(tracks[3]->sequence().notes.size(), 1u);
    EXPECT_EQ(sequencer.length(), 3.0); // the shortest

    Sequencer two(std::vector<std::shared_ptr<Node>>{nodes[0], nodes[1]});
    two.load(MIDIFile(file, "three.mid"));
    two.add(MIDIEvent{0x90, 60, 100}, 1.0, 2);
    EXPECT_EQ(
        log.contents("Sequencer.cpp", "load(midiFile:)"),
        std::vector<std::string>{"Error: Track count and file track count do not match  dropped 1 tracks"});
    EXPECT_EQ(log.contents("Sequencer.cpp", "add(event:position:trackIndex:)"),
              std::vector<std::string>{"Track index 2 out of range (sequencer has 2 tracks)"});
}
