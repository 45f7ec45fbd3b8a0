// The tempo_probe program as a user runs it: one JSON line for a file, with and without a dance, and its
// errors.

#include "tests/support/ProgramRuns.h"
#include "tests/support/RhythmSignals.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sndfile.h>

#include <string>
#include <vector>

namespace {

testsupport::ProgramRun runProbe(const std::vector<std::string>& arguments) {
    return testsupport::runProgram(TEMPO_PROBE_PROGRAM, arguments);
}

TEST(TempoProbe, PrintsOneJsonLineOfTheSongsTempoWithOrWithoutItsDance) {
    testsupport::TemporaryFolder folder;
    // A samba's two beats a bar at 102: a quickstep's band hears its half beats.
    const auto piece = testsupport::rhythmPiece({.bpm = 102, .beatsPerBar = 2, .bars = 16});
    const std::string path = folder.file("samba.flac");
    ASSERT_TRUE(testsupport::writeWithSndfile(path, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, {piece.samples},
                                              int(piece.rate)));
    struct Case {
        std::vector<std::string> arguments;
        double bpm;
        int beatsPerBar;
    };
    for (const Case& c : std::vector<Case>{{{"--dance", "samba", path}, 102, 2},
                                           {{"--dance", "Quick Step", path}, 204, 4},
                                           {{path}, 102, 4}}) {
        SCOPED_TRACE(c.arguments.front());
        const auto run = runProbe(c.arguments);
        ASSERT_EQ(run.exitCode, 0) << run.output;
        ASSERT_EQ(run.output.find('\n'), run.output.size() - 1) << run.output;
        const auto line = nlohmann::json::parse(run.output);
        EXPECT_NEAR(line.at("bpm").get<double>(), c.bpm, c.bpm * 0.02);
        EXPECT_EQ(line.at("beatsPerBar").get<int>(), c.beatsPerBar);
        EXPECT_TRUE(line.at("sure").is_boolean());
        const auto beats = line.at("beats").get<std::vector<double>>();
        const auto downbeats = line.at("downbeats").get<std::vector<double>>();
        ASSERT_FALSE(downbeats.empty());
        EXPECT_EQ(testsupport::metWithin(beats, downbeats, 0.0001), downbeats.size()); // bar starts are beats
        if (c.bpm == 102) {
            EXPECT_GE(testsupport::beatFMeasure(beats, piece.beats), 0.95);
        }
    }
}

TEST(TempoProbe, RefusesBadArgumentsAndUnreadableFilesWithAReason) {
    testsupport::TemporaryFolder folder;
    struct Case {
        std::vector<std::string> arguments;
        int exitCode;
        std::string says;
    };
    const std::string missing = folder.file("missing.mp3");
    for (const Case& c : std::vector<Case>{{{}, 2, "usage"},
                                           {{"--dance", "hokey-cokey", missing}, 2, "hokey-cokey"},
                                           {{"--dance"}, 2, "usage"},
                                           {{missing}, 1, "missing.mp3"}}) {
        const auto run = runProbe(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        EXPECT_NE(run.output.find(c.says), std::string::npos) << run.output;
    }
}

} // namespace
