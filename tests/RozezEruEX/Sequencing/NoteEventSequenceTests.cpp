#include "RozezEru/MIDI/MIDIEvent.h"
#include "RozezEruEX/Sequencing/NoteEventSequence.h"

#include <gtest/gtest.h>

using namespace rozezeru;

TEST(NoteEventSequence, OrdersByBeatWithReleasesBeforeStartsAndKeepsInsertionOrderOtherwise) {
    NoteEventSequence sequence;
    sequence.addEvent(0xB0, 7, 100, 4.0); // control change
    sequence.addEvent(0xC0, 1, 0, 4.0);   // program change: before it
    sequence.add(60, 100, 3.75, 0.25);
    sequence.add(62, 90, 4.0, 1.0);
    sequence.add(64, 90, 4.0, 1.0);
    const std::vector<SequenceEvent> expected = {
        {0x90, 60, 100, 3.75}, {0xC0, 1, 0, 4.0},   {0x80, 60, 100, 4.0}, {0xB0, 7, 100, 4.0},
        {0x90, 62, 90, 4.0},   {0x90, 64, 90, 4.0}, {0x80, 62, 90, 5.0},  {0x80, 64, 90, 5.0}};
    EXPECT_EQ(sequence.orderedEvents(), expected);
    EXPECT_EQ(sequence.totalDuration, 2.25);
    EXPECT_EQ(sequence.lastBeat(), 5.0);
}

TEST(NoteEventSequence, TakesOnlyThreeByteChannelMessagesAndRemovesEveryMatch) {
    NoteEventSequence sequence;
    sequence.add(MIDIEvent::programChange(3, 0), 1.0);
    sequence.add(MIDIEvent{0xF2, 1, 2}, 1.0);
    sequence.add(MIDIEvent{0xE1, 0, 64}, 1.0);
    EXPECT_EQ(sequence.events, (std::vector<SequenceEvent>{{0xE1, 0, 64, 1.0}}));
    sequence.add(60, 1, 2.0, 1.0);
    sequence.add(62, 1, 2.0, 1.0);
    sequence.add(60, 1, 3.0, 1.0);
    sequence.removeNote(2.0);
    EXPECT_EQ(sequence.notes.size(), 1u);
    sequence.removeNotes(60);
    sequence.removeEvent(1.0);
    EXPECT_EQ(sequence, (NoteEventSequence{{}, {}, 3.0}));
}
