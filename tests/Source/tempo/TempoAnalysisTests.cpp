// The tempo analysis on short pieces rendered in code with known beats and bars, and on files as the
// player reads them.

#include "Source/tempo/TempoAnalysis.h"

#include "Source/tempo/BeatTracking.h"

#include "tests/support/RhythmSignals.h"
#include "tests/support/SongArchives.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <gtest/gtest.h>

#include <sndfile.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::RhythmPlan;
using vantle::Dance;

struct PieceCase {
    const char* name;
    RhythmPlan plan;
    std::optional<Dance> dance;
    double bpm;
    int beatsPerBar;
};

TEST(TempoAnalysis, FindsTheBeatsBarsAndMeterOfRenderedPieces) {
    const std::vector<PieceCase> cases = {
        {"waltz, bass and kick on 1", {.bpm = 87, .beatsPerBar = 3, .bars = 10}, Dance::waltz, 87, 3},
        {"the same waltz, no dance told", {.bpm = 87, .beatsPerBar = 3, .bars = 10}, std::nullopt, 87, 3},
        {"4/4 led in by a one-beat pickup",
         {.bpm = 118, .bars = 8, .pickupBeats = 1},
         Dance::foxtrot,
         118,
         4},
        {"swung jive", {.bpm = 172, .bars = 12, .swing = 1.0 / 6}, Dance::jive, 172, 4},
        {"tango after a free-time intro", {.bpm = 128, .bars = 8, .introSeconds = 6}, Dance::tango, 128, 4},
        {"waltz with no drums",
         {.bpm = 88, .beatsPerBar = 3, .bars = 10, .drums = false},
         Dance::waltz,
         88,
         3},
        // The band decides between metrical levels of one and the same piece.
        {"samba's band takes the beat", {.bpm = 102, .beatsPerBar = 2, .bars = 16}, Dance::samba, 102, 2},
        // Without a dance, a slow beat whose halves (the snare between the kicks) sound as strongly is the
        // half of a fast one.
        {"fast 4/4, no dance told", {.bpm = 172, .bars = 16}, std::nullopt, 172, 4},
        // Faster still, the kick and the snare taking turns on the halves tell the beat.
        {"quickstep's 4/4, no dance told",
         {.bpm = 204, .bars = 24, .brightSnare = true},
         std::nullopt,
         204,
         4},
        {"quickstep's band takes the half beat",
         {.bpm = 102, .beatsPerBar = 2, .bars = 16},
         Dance::quickstep,
         204,
         4},
    };
    for (const PieceCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto piece = testsupport::rhythmPiece(c.plan);
        const vantle::SongTempo tempo =
            vantle::analyseTempo(piece.samples.data(), piece.samples.size(), piece.rate, c.dance);
        EXPECT_NEAR(tempo.bpm, c.bpm, c.bpm * 0.02);
        EXPECT_EQ(tempo.beatsPerBar, c.beatsPerBar);
        if (c.bpm != c.plan.bpm) continue; // another level: its beats are not the piece's
        EXPECT_GE(testsupport::beatFMeasure(tempo.beats, piece.beats), 0.95);
        EXPECT_GE(testsupport::metWithin(tempo.downbeats, piece.downbeats), piece.downbeats.size() * 8 / 10);
        // A free-time intro has no beats.
        ASSERT_FALSE(tempo.beats.empty());
        EXPECT_GT(tempo.beats.front(), piece.beats.front() - 0.07);
    }
}

TEST(TempoAnalysis, IsUnsureWhereTheEvidenceDoesNotDecide) {
    // Silence and a steady tone have no beat at all.
    const std::vector<float> silence(22050 * 8, 0.0f);
    const auto tone = testsupport::sine(22050 * 8, 440, 22050, 0.5);
    for (const auto* samples : {&silence, &tone}) {
        const auto tempo = vantle::analyseTempo(samples->data(), samples->size(), 22050, std::nullopt);
        EXPECT_FALSE(tempo.sure);
        EXPECT_TRUE(tempo.beats.empty());
    }
    // Without a dance, a tempo whose double is a quickstep's beat is not sure, however clear the piece.
    const auto samba = testsupport::rhythmPiece({.bpm = 102, .beatsPerBar = 2, .bars = 16});
    const auto blind =
        vantle::analyseTempo(samba.samples.data(), samba.samples.size(), samba.rate, std::nullopt);
    EXPECT_NEAR(blind.bpm, 102, 2);
    EXPECT_FALSE(blind.sure);
    // A 4/4 piece told to be a waltz: no level of it lies in the waltz's band.
    const auto piece = testsupport::rhythmPiece({.bpm = 120, .bars = 8});
    const auto told =
        vantle::analyseTempo(piece.samples.data(), piece.samples.size(), piece.rate, Dance::waltz);
    EXPECT_FALSE(told.sure);
}

TEST(TempoAnalysis, WithoutADanceTheLevelIsThePulsesOwnAndOpenWhereTheyDisagree) {
    // Pulses as beats per minute and strength, strongest first, at 100 frames a second.
    struct LevelCase {
        const char* name;
        std::vector<std::pair<double, double>> pulses;
        double bpm;
        bool sure;
    };
    const std::vector<LevelCase> cases = {
        {"the pulse a listener taps", {{120, 0.7}, {60, 0.6}, {240, 0.4}}, 120, true},
        {"a fast pulse stronger than its half", {{204, 0.56}, {102, 0.49}, {68, 0.41}}, 204, false},
        {"a fast pulse weaker than its half", {{102, 0.6}, {204, 0.5}, {51, 0.5}}, 102, true},
        // A waltz's two bars counted in fours: the beat at 3/4 of it repeats more strongly.
        {"a tempo crossed by a stronger one at 3/4 of it",
         {{58.9, 0.47}, {88.2, 0.34}, {44.2, 0.34}, {117.7, 0.27}},
         88.2,
         false},
        {"a weaker pulse at 3/4", {{120, 0.7}, {90, 0.6}}, 120, true},
    };
    constexpr double frameRate = 100;
    for (const LevelCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<vantle::Pulse> pulses;
        for (const auto& [bpm, strength] : c.pulses)
            pulses.push_back({60 * frameRate / bpm, strength});
        const vantle::BeatPeriod beat = vantle::chooseBeatPeriod(pulses, frameRate, std::nullopt);
        EXPECT_NEAR(60 * frameRate / beat.period, c.bpm, 0.01);
        EXPECT_EQ(beat.sure, c.sure);
    }
}

TEST(TempoAnalysis, AnalysesOnWorkersAtOnceGiveWhatOneAloneGives) {
    // The player analyses several songs at once on its workers: the analyses share nothing.
    const auto piece = testsupport::rhythmPiece({.bpm = 118, .bars = 8, .pickupBeats = 1});
    const auto alone =
        vantle::analyseTempo(piece.samples.data(), piece.samples.size(), piece.rate, Dance::foxtrot);
    std::vector<vantle::SongTempo> together(4);
    std::vector<std::thread> workers;
    for (auto& tempo : together)
        workers.emplace_back([&] {
            tempo =
                vantle::analyseTempo(piece.samples.data(), piece.samples.size(), piece.rate, Dance::foxtrot);
        });
    for (auto& worker : workers)
        worker.join();
    for (const auto& tempo : together)
        EXPECT_EQ(tempo, alone);
}

class TempoFiles : public ::testing::Test {
protected:
    // The waltz as a file of the given format, in stereo.
    std::string writePiece(const std::string& name, int format) {
        const std::string path = folder.file(name);
        EXPECT_TRUE(
            testsupport::writeWithSndfile(path, format, {piece.samples, piece.samples}, int(piece.rate)));
        return path;
    }

    testsupport::TemporaryFolder folder;
    testsupport::RhythmPiece piece = testsupport::rhythmPiece({.bpm = 87, .beatsPerBar = 3, .bars = 10});
};

TEST_F(TempoFiles, ReadsWhatThePlayerReadsAnMp3ZippedWithItsGraphicsToo) {
    const std::string wav = writePiece("waltz.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    const std::string mp3 = writePiece("waltz.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    const std::string zip = folder.file("waltz.zip");
    ASSERT_TRUE(testsupport::writeZip(
        zip, {{"waltz.mp3", testsupport::readWholeFile(mp3)}, {"waltz.cdg", testsupport::blankCdg()}}));
    for (const std::string& path : {wav, mp3, zip}) {
        SCOPED_TRACE(path);
        const auto tempo = vantle::analyseTempoFile(path, Dance::waltz, nullptr);
        ASSERT_TRUE(tempo.has_value());
        EXPECT_NEAR(tempo->bpm, 87, 1.5);
        EXPECT_EQ(tempo->beatsPerBar, 3);
        // The encoder's delay aside, times are the file's own.
        EXPECT_GE(testsupport::beatFMeasure(tempo->beats, piece.beats), 0.95);
    }
}

TEST_F(TempoFiles, ABandFromTheTeachersTablePicksTheLevelAndMeter) {
    // The waltz's bars of three at 29 a minute, counted by a table that says 2 beats a bar at 43.5.
    const std::string wav = writePiece("waltz.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const auto edited = vantle::analyseTempoFile(wav, vantle::DanceBand{2, 42, 45}, nullptr);
    ASSERT_TRUE(edited.has_value());
    EXPECT_NEAR(edited->bpm, 87, 1.5);
    EXPECT_EQ(edited->beatsPerBar, 2);
    // A band of no meter is no dance.
    const auto none = vantle::analyseTempoFile(wav, vantle::DanceBand{}, nullptr);
    ASSERT_TRUE(none.has_value());
    EXPECT_EQ(none->beatsPerBar, 3);
}

TEST_F(TempoFiles, AnUnreadableFileOrACancelGivesNothingAndSaysWhy) {
    std::string whyNot;
    EXPECT_FALSE(vantle::analyseTempoFile(folder.file("missing.mp3"), std::nullopt, nullptr, &whyNot));
    EXPECT_FALSE(whyNot.empty());

    const std::string wav = writePiece("waltz.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::atomic<bool> cancel{true};
    whyNot.clear();
    EXPECT_FALSE(vantle::analyseTempoFile(wav, Dance::waltz, &cancel, &whyNot));
    EXPECT_EQ(whyNot, "cancelled");
}

} // namespace
