#include "platform/sequencing/MusicSequence.h"
#include "tests/support/MIDIFileBytes.h"

#include <gtest/gtest.h>

using namespace platform;
using namespace testsupport;

namespace {

MIDINoteMessage note(std::uint8_t key, float beats) {
    return {0, key, 100, 0, beats};
}

std::vector<double> times(const MusicTrackHandle& track) {
    std::vector<double> out;
    for (const auto& event : track.lock()->events())
        out.push_back(event.time);
    return out;
}

} // namespace

TEST(MusicSequence, TracksKeepTimeThenInsertionOrderAndCopyClearAndMerge) {
    MusicSequence sequence;
    auto track = sequence.newTrack();
    auto t = track.lock();
    t->addEvent(2, note(62, 1));
    t->addEvent(0, MIDIChannelMessage{0xC0, 5});
    t->addEvent(2, note(64, 3)); // after the earlier event at the same beat
    t->addEvent(1, MIDIRawData{{0xF0, 0x7E, 0xF7}});
    EXPECT_EQ(times(track), (std::vector<double>{0, 1, 2, 2}));
    EXPECT_EQ(std::get<MIDINoteMessage>(t->events()[3].data).note, 64);
    EXPECT_EQ(t->length(), 5.0); // the end of the longest note

    auto other = sequence.newTrack();
    other.lock()->addEvent(0.5, note(40, 1));
    other.lock()->addEvent(3, note(41, 1));
    EXPECT_EQ(musicTrackCopyInsert(track, 1, 2.5, other, 1), noErr); // 1.5 beats in at 1: 3 moves to 4.5
    EXPECT_EQ(times(other), (std::vector<double>{0.5, 1, 2, 2, 4.5}));
    EXPECT_EQ(musicTrackMerge(track, 0, 1, other, 4.5), noErr);
    EXPECT_EQ(times(other), (std::vector<double>{0.5, 1, 2, 2, 4.5, 4.5}));
    other.lock()->clear(1, 4.5);
    EXPECT_EQ(times(other), (std::vector<double>{0.5, 4.5, 4.5}));

    // A disposed track fails its handles and every cross-track call, and is no longer counted.
    EXPECT_EQ(sequence.disposeTrack(other), noErr);
    EXPECT_TRUE(other.expired());
    EXPECT_EQ(musicTrackMerge(track, 0, 10, other, 0), kAudioToolboxErr_TrackNotFound);
    EXPECT_EQ(sequence.disposeTrack(other), kAudioToolboxErr_TrackNotFound);
    EXPECT_FALSE(MusicEventIterator::make(other).has_value());
    EXPECT_EQ(sequence.trackCount(), 1u);
    EXPECT_EQ(sequence.trackIndex(track), 0u);
}

TEST(MusicSequence, IteratorWalksSeeksDeletesAndReplaces) {
    MusicSequence sequence;
    auto track = sequence.newTrack();
    for (double beat : {0.0, 1.0, 2.0, 3.0})
        track.lock()->addEvent(beat, note(static_cast<std::uint8_t>(60 + beat), 0.5));
    auto it = MusicEventIterator::make(track);
    ASSERT_TRUE(it);
    it->seek(1.5);
    EXPECT_EQ(it->eventInfo()->time, 2.0);
    ASSERT_TRUE(it->hasPreviousEvent());
    it->previousEvent();
    EXPECT_EQ(it->eventInfo()->time, 1.0);
    it->deleteEvent(); // onto the event that followed
    EXPECT_EQ(it->eventInfo()->time, 2.0);
    it->setEventInfo(MIDIChannelMessage{0xB0, 7, 90});
    EXPECT_EQ(it->eventInfo()->type(), MusicEventType::midiChannelMessage);
    it->seek(10);
    EXPECT_FALSE(it->hasCurrentEvent());
    EXPECT_EQ(times(track), (std::vector<double>{0, 2, 3}));
    // A record handed out is a copy: editing the track leaves it as it was.
    auto kept = MusicEventIterator::make(track)->eventInfo();
    track.lock()->clear(0, 10);
    EXPECT_EQ(std::get<MIDINoteMessage>(kept->data).note, 60);
}

TEST(MusicSequence, TempoMapConvertsBothWays) {
    MusicSequence sequence;
    EXPECT_EQ(sequence.secondsForBeats(4), 2.0); // 120 BPM with no tempo event
    auto tempo = sequence.tempoTrack().lock();
    tempo->addEvent(0, ExtendedTempoEvent{60});
    tempo->addEvent(4, ExtendedTempoEvent{120});
    tempo->addEvent(8, ExtendedTempoEvent{240});
    for (auto [beats, seconds] :
         {std::pair{0.0, 0.0}, {2.0, 2.0}, {4.0, 4.0}, {6.0, 5.0}, {10.0, 6.5}, {-1.0, -1.0}}) {
        EXPECT_DOUBLE_EQ(sequence.secondsForBeats(beats), seconds) << beats;
        EXPECT_DOUBLE_EQ(sequence.beatsForSeconds(seconds), beats) << seconds;
    }
}

TEST(MusicSequence, StandardFilesImportExportAndImportAgainEqual) {
    // Format 1 at 96 ticks: 100 BPM then 150 BPM at beat 4, 3/4 then 6/8; a named track with notes,
    // an overlapped repeat, a controller, a pitch bend and a system-exclusive message; a second track.
    const auto start = join({{0x00}, tempo(600000), {0x00}, meta(0x58, {3, 2, 24, 8})});
    const auto tempoChunk =
        join({start, {0x83, 0x00}, tempo(400000), {0x00}, meta(0x58, {6, 3, 24, 8}), endOfTrack});
    const auto notes = join({{0x00, 0x90, 60, 100, 0x60, 0x80, 60, 64},
                             {0x00, 0x90, 62, 90, 0x30, 62, 80, 0x30, 62, 0, 0x00, 0x80, 62, 0}});
    const MIDIBytes controls = {0x00, 0xB0, 7, 100, 0x00, 0xE0, 0, 64, 0x00, 0xF0, 0x02, 0x7E, 0xF7};
    const auto first = join({{0x00}, meta(0x03, {'L', 'e', 'a', 'd'}), notes, controls, endOfTrack});
    // The second starts with a note that ends where it starts.
    const MIDIBytes second = {0x00, 0x95, 40,   50,   0x00, 0x85, 40, 0,    0x81, 0x40, 0x95,
                              36,   127,  0x81, 0x40, 0x85, 36,   0,  0x60, 0xFF, 0x2F, 0x00};
    const auto file =
        join({header(1, 3, 96), chunk("MTrk", tempoChunk), chunk("MTrk", first), chunk("MTrk", second)});

    MusicSequence sequence;
    ASSERT_EQ(sequence.loadFileData(file), noErr);
    ASSERT_EQ(sequence.trackCount(), 2u);
    EXPECT_EQ(sequence.tempoMap(), (std::vector<std::pair<double, double>>{{0, 100}, {4, 150}}));
    const auto tempoEvents = sequence.tempoTrack().lock()->events();
    ASSERT_EQ(tempoEvents.size(), 4u);
    EXPECT_EQ(tempoEvents[3], (MusicEvent{4, MIDIMetaEvent{0x58, {6, 3, 24, 8}}}));
    const auto lead = sequence.indTrack(0).lock()->events();
    ASSERT_EQ(lead.size(), 7u);
    EXPECT_EQ(lead[0], (MusicEvent{0, MIDIMetaEvent{0x03, {'L', 'e', 'a', 'd'}}}));
    EXPECT_EQ(lead[1], (MusicEvent{0, MIDINoteMessage{0, 60, 100, 64, 1.0f}}));
    EXPECT_EQ(lead[2], (MusicEvent{1, MIDINoteMessage{0, 62, 90, 0, 1.0f}})); // first on, first off
    EXPECT_EQ(lead[3],
              (MusicEvent{1.5, MIDINoteMessage{0, 62, 80, 0, 0.5f}})); // the off at 2 ends the repeat
    EXPECT_EQ(lead[6], (MusicEvent{2, MIDIRawData{{0xF0, 0x7E, 0xF7}}}));
    EXPECT_EQ(sequence.indTrack(1).lock()->length(), 5.0);
    EXPECT_EQ(sequence.indTrack(1).lock()->events().at(0),
              (MusicEvent{0, MIDINoteMessage{5, 40, 50, 0, 0.0f}}));

    const auto exported = sequence.createFileData();
    EXPECT_EQ(std::vector<std::uint8_t>(exported.begin() + 8, exported.begin() + 14),
              (std::vector<std::uint8_t>{0, 1, 0, 3, 480 >> 8, 480 & 0xFF}));
    MusicSequence again;
    ASSERT_EQ(again.loadFileData(exported), noErr);
    ASSERT_EQ(again.trackCount(), 2u);
    EXPECT_EQ(again.tempoTrack().lock()->events(), tempoEvents);
    for (std::uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(again.indTrack(i).lock()->events(), sequence.indTrack(i).lock()->events()) << i;
        EXPECT_EQ(again.indTrack(i).lock()->length(), sequence.indTrack(i).lock()->length()) << i;
    }
}

TEST(MusicSequence, MalformedFilesLoadNothing) {
    const auto good =
        join({header(0, 1, 96), chunk("MTrk", join({{0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0}, endOfTrack}))});
    const std::vector<MIDIBytes> bad = {
        {},
        {'M', 'T', 'h', 'd'},
        MIDIBytes(good.begin(), good.end() - 6),                                 // chunk cut short
        join({header(0, 1, 0xE728), chunk("MTrk", endOfTrack)}),                 // time-code division
        join({header(0, 1, 96), chunk("MTrk", {0x00, 0x40, 0x10})}),             // data with no status
        join({header(0, 1, 96), chunk("MTrk", {0x00, 0x90, 0x80, 1, 0x00})}),    // data byte above 127
        join({header(0, 1, 96), chunk("MTrk", {0x8F, 0x8F, 0x8F, 0x8F, 0x00})}), // delta of five bytes
        join({header(0, 1, 96),
              chunk("MTrk", join({{0x00}, meta(0x51, {0, 0, 0}), endOfTrack}))}), // zero tempo
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        MusicSequence sequence;
        ASSERT_EQ(sequence.loadFileData(good), noErr);
        EXPECT_EQ(sequence.loadFileData(bad[i]), kAudioToolboxErr_InvalidSequenceType) << i;
        EXPECT_EQ(sequence.trackCount(), 0u) << i;
    }
    MusicSequence lenient;
    EXPECT_EQ(lenient.loadFileData(formatOneFile()), noErr); // unknown chunk skipped, empty chunk kept
    EXPECT_EQ(lenient.trackCount(), 2u);
}
