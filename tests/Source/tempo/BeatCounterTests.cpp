// The counter: bar.beat from the first bar line, the pickup before it, and the callers' 8-beat phrase
// and 64-beat sequence.

#include "Source/tempo/BeatCounter.h"

#include <gtest/gtest.h>

using namespace vantle;

TEST(BeatCounter, CountsBarsAndBeatsFromTheFirstBarLineAndThePickupBeforeIt) {
    // Beats every half second from 1 s; 3/4 with the first bar line on the third beat (a two-beat pickup).
    SongTempo tempo;
    tempo.beatsPerBar = 3;
    for (int i = 0; i < 200; ++i)
        tempo.beats.push_back(1.0 + 0.5 * i);
    for (std::size_t i = 2; i < tempo.beats.size(); i += 3)
        tempo.downbeats.push_back(tempo.beats[i]);
    struct Case {
        double seconds;
        std::optional<BeatPosition> position;
        const char* text;
    };
    const Case cases[] = {
        {0.99, std::nullopt, "\u2013"},
        {1.0, BeatPosition{0, 2, 7, 63}, "0.2"},
        {1.7, BeatPosition{0, 3, 8, 64}, "0.3"},
        {2.0, BeatPosition{1, 1, 1, 1}, "1.1"},
        {2.49, BeatPosition{1, 1, 1, 1}, "1.1"},
        {2.5, BeatPosition{1, 2, 2, 2}, "1.2"},
        {3.5, BeatPosition{2, 1, 4, 4}, "2.1"},
        {6.0, BeatPosition{3, 3, 1, 9}, "3.3"},
        {2.0 + 64 * 0.5, BeatPosition{22, 2, 1, 1}, "22.2"},
        {101.1, std::nullopt, "\u2013"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(beatPositionAt(tempo, c.seconds), c.position);
        EXPECT_EQ(barBeatText(beatPositionAt(tempo, c.seconds)), c.text);
    }
    EXPECT_EQ(phraseText(BeatPosition{3, 3, 1, 9}), "1/8  9/64");
    EXPECT_EQ(phraseText(std::nullopt), "");
}

TEST(BeatCounter, ABarTheGridHoldsShortIsCountedAsItIsHeard) {
    // 4/4 with one bar of two beats (a common break in a record) between bars 2 and 3.
    SongTempo tempo;
    tempo.beatsPerBar = 4;
    for (int i = 0; i < 16; ++i)
        tempo.beats.push_back(i * 0.5);
    tempo.downbeats = {0.0, 2.0, 4.0, 5.0, 7.0};
    EXPECT_EQ(beatPositionAt(tempo, 4.6)->bar, 3);
    EXPECT_EQ(beatPositionAt(tempo, 4.6)->beat, 2);
    EXPECT_EQ(beatPositionAt(tempo, 5.0)->bar, 4);
    EXPECT_EQ(beatPositionAt(tempo, 5.0)->beat, 1);
}
