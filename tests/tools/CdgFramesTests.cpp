// The cdg_frames program as a user runs it: its files, their pixels, its lines and its errors.

#include "tests/support/CdgWriter.h"
#include "tests/support/ProgramRuns.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace cdg = testsupport::cdg;

using testsupport::ProgramRun;

ProgramRun runFrames(const std::vector<std::string>& arguments) {
    return testsupport::runProgram(CDG_FRAMES_PROGRAM, arguments);
}

std::vector<std::uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A song whose picture changes at 1 s: red before, then a green tile at the visible area's corner,
// with a border and a transparent index.
std::string writeSong(const testsupport::TemporaryFolder& folder) {
    cdg::CdgWriter writer;
    writer.append(cdg::loadColours(false, {0x000, 0xF00, 0x0F0, 0x00F, 0xFFF, 0, 0, 0}));
    writer.append(cdg::memoryPreset(1));
    writer.append(cdg::borderPreset(3));
    writer.append(cdg::transparentColour(1));
    writer.at(300, cdg::tileBlock(2, 2, 1, 1, cdg::solid()));
    writer.padTo(600);
    const std::string path = folder.file("My Song.cdg");
    EXPECT_TRUE(writer.write(path));
    return path;
}

TEST(CdgFrames, WritesOnePpmPerTimeNamedByBaseNameAndTime) {
    testsupport::TemporaryFolder folder;
    const std::string song = writeSong(folder);
    const std::string out = folder.file("frames");
    const ProgramRun run = runFrames({song, out, "0.5", "1", "12.25"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("My Song-0.500.ppm"), std::string::npos) << run.output;
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 3) << run.output;

    struct Case {
        std::string file;
        int x, y;
        std::uint32_t rgb;
    };
    const std::vector<Case> cases = {
        {"My Song-0.500.ppm", 6, 12, 0xFF0000}, // the transparent index drawn as its colour
        {"My Song-0.500.ppm", 0, 0, 0x0000FF},  // the border included
        {"My Song-1.000.ppm", 6, 12, 0x00FF00}, // the tile drawn at 1 s
        {"My Song-1.000.ppm", 12, 12, 0xFF0000},
        {"My Song-12.250.ppm", 11, 23, 0x00FF00}, // after the end, the last picture
    };
    const std::string header = "P6\n300 216\n255\n";
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> ppm = readAll(out + "/" + c.file);
        ASSERT_EQ(ppm.size(), header.size() + 300u * 216 * 3) << c.file;
        EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + long(header.size())), header) << c.file;
        const std::size_t at = header.size() + std::size_t((c.y * 300 + c.x) * 3);
        const std::uint32_t rgb =
            (std::uint32_t(ppm[at]) << 16) | (std::uint32_t(ppm[at + 1]) << 8) | ppm[at + 2];
        EXPECT_EQ(rgb, c.rgb) << c.file << " (" << c.x << ", " << c.y << ")";
    }
}

TEST(CdgFrames, BadFilesAndTimesFailWithTheirReason) {
    testsupport::TemporaryFolder folder;
    const std::string song = writeSong(folder);
    std::ofstream(folder.file("short.cdg"), std::ios::binary) << "only twenty bytes...";
    struct Case {
        std::string what;
        std::vector<std::string> arguments;
        std::string said;
    };
    const std::vector<Case> cases = {
        {"no times", {song, folder.path}, "usage"},
        {"a word for a time", {song, folder.path, "1", "soon"}, "\"soon\" is not a time"},
        {"a negative time", {song, folder.path, "-2"}, "\"-2\" is not a time"},
        {"a time with trailing text", {song, folder.path, "3s"}, "\"3s\" is not a time"},
        {"no such file", {folder.file("absent.cdg"), folder.path, "1"}, "absent.cdg"},
        {"less than a packet", {folder.file("short.cdg"), folder.path, "1"}, "holds no CD+G packet"},
        {"a folder for a file", {folder.path, folder.path, "1"}, "cannot"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = runFrames(c.arguments);
        EXPECT_NE(run.exitCode, 0) << c.what;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << c.what << ": " << run.output;
    }
    EXPECT_EQ(testsupport::entryNames(folder.path).count("My Song-1.000.ppm"), 0u);
}

} // namespace
