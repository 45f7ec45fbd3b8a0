// The teacher's corrections of a beat grid: another metrical level along the heard beats, the bar lines
// a beat over, and a tempo tapped by hand. Each is marked corrected and sure.

#include "Source/tempo/TempoCorrections.h"
#include "tests/support/BeatGrids.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace vantle;

TEST(TempoCorrections, EachFactorRespacesTheBeatsAndKeepsTheFirstBarLine) {
    struct Case {
        TempoFactor factor;
        double bpm;
    };
    const SongTempo heard = testsupport::steadyBeatGrid(120, 4, 30, 0.25, 1, false);
    for (const Case& c : {Case{TempoFactor::half, 60}, Case{TempoFactor::twice, 240},
                          Case{TempoFactor::twoThirds, 80}, Case{TempoFactor::threeHalves, 180}}) {
        SCOPED_TRACE(c.bpm);
        const std::optional<SongTempo> scaled = scaledTempo(heard, c.factor);
        ASSERT_TRUE(scaled);
        EXPECT_NEAR(scaled->bpm, c.bpm, 0.01);
        EXPECT_TRUE(scaled->corrected);
        EXPECT_TRUE(scaled->sure);
        EXPECT_EQ(scaled->beatsPerBar, 4);
        ASSERT_FALSE(scaled->downbeats.empty());
        EXPECT_NEAR(scaled->downbeats.front(), heard.downbeats.front(), 1e-9);
        // Beats before the first bar line are kept too, at the new spacing.
        EXPECT_LE(scaled->beats.front(), heard.downbeats.front());
        EXPECT_NEAR(scaled->beats.back(), heard.beats.back(), 60.0 / c.bpm + 1e-9);
        for (std::size_t i = 1; i < scaled->beats.size(); ++i)
            EXPECT_NEAR(scaled->beats[i] - scaled->beats[i - 1], 60.0 / c.bpm, 1e-9);
    }
    EXPECT_FALSE(scaledTempo(SongTempo{}, TempoFactor::half));
}

TEST(TempoCorrections, ADriftingBandStaysDriftingWhenItsLevelIsCorrected) {
    // A band speeding up from 100 to 110 beats per minute.
    SongTempo drifting;
    drifting.beatsPerBar = 3;
    double t = 0;
    for (int i = 0; i < 120; ++i) {
        drifting.beats.push_back(t);
        t += 60.0 / (100.0 + 10.0 * i / 120);
    }
    drifting.downbeats = {drifting.beats[0]};
    const std::optional<SongTempo> doubled = scaledTempo(drifting, TempoFactor::twice);
    ASSERT_TRUE(doubled);
    ASSERT_EQ(doubled->beats.size(), 2 * drifting.beats.size() - 1);
    for (std::size_t i = 0; i < drifting.beats.size(); ++i)
        EXPECT_DOUBLE_EQ(doubled->beats[2 * i], drifting.beats[i]);
    EXPECT_EQ(doubled->downbeats.size(), (doubled->beats.size() + 2) / 3);
}

TEST(TempoCorrections, TheBarLinesMoveByABeatEitherWay) {
    const SongTempo heard = testsupport::steadyBeatGrid(120, 3, 20, 0.25, 1, false);
    const std::optional<SongTempo> later = shiftedBarLines(heard, 1);
    const std::optional<SongTempo> earlier = shiftedBarLines(heard, -1);
    ASSERT_TRUE(later && earlier);
    EXPECT_DOUBLE_EQ(later->downbeats.front(), heard.beats[2]);
    EXPECT_DOUBLE_EQ(earlier->downbeats.front(), heard.beats[0]);
    EXPECT_EQ(later->beats, heard.beats);
    EXPECT_DOUBLE_EQ(later->bpm, heard.bpm);
    EXPECT_TRUE(later->corrected && later->sure);
    // Moved round the bar, the lines are back where they were.
    const std::optional<SongTempo> round = shiftedBarLines(*shiftedBarLines(*later, 1), 1);
    EXPECT_EQ(round->downbeats, heard.downbeats);
    EXPECT_FALSE(shiftedBarLines(SongTempo{}, 1));
}

TEST(TempoCorrections, EightTapsOrMoreSetTheTempoAndPhase) {
    // A teacher tapping 87 beats per minute a little unevenly, starting on a bar line at 10.3 s.
    const double spacing = 60.0 / 87;
    const double wobble[] = {0.012, -0.018, 0.005, 0.02, -0.01, -0.015, 0.008, 0.0, -0.006, 0.011};
    std::vector<double> taps;
    for (int i = 0; i < 10; ++i)
        taps.push_back(10.3 + i * spacing + wobble[i]);
    const std::optional<SongTempo> tapped = tappedTempo(taps, 3, 180);
    ASSERT_TRUE(tapped);
    EXPECT_NEAR(tapped->bpm, 87, 0.5);
    EXPECT_EQ(tapped->beatsPerBar, 3);
    EXPECT_TRUE(tapped->corrected && tapped->sure);
    EXPECT_GE(tapped->beats.front(), 0);
    EXPECT_LT(tapped->beats.front(), spacing);
    EXPECT_GT(tapped->beats.back(), 180 - spacing);
    // A bar line on the first tap, within the wobble.
    const auto line = std::lower_bound(tapped->downbeats.begin(), tapped->downbeats.end(), 10.2);
    ASSERT_NE(line, tapped->downbeats.end());
    EXPECT_NEAR(*line, 10.3, 0.03);

    taps.resize(7);
    EXPECT_FALSE(tappedTempo(taps, 3, 180)) << "seven taps are not enough";
    EXPECT_FALSE(tappedTempo(std::vector<double>(8, 5.0), 4, 180)) << "taps at one moment have no tempo";
}
