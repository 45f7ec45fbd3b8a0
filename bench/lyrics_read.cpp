// Reading a song's lyrics: an LRC file of 2,000 lines (a long song timed word by word, or a medley)
// parsed from its bytes, against splitting the same bytes into lines; and read from beside the song,
// against reading the same file's bytes. The timing mode's work on the largest file it reads (2 MiB)
// in a folder of 20,000 names: made (the folder listed, the file read) and saved, against reading and
// writing the same bytes. Each reports its ratio to its reference, in one run.
//
//   bench_lyrics_read [benchmark flags]

#include "Source/karaoke/LyricsFile.h"
#include "Source/karaoke/LyricsTiming.h"
#include "Source/session/TextNote.h"
#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include "BenchRatio.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {

constexpr int lineCount = 2000;

// Tags, then 2,000 lines 1.5 s apart; every fourth with word times, every fiftieth a break.
std::string lrcText() {
    std::string text = "[ti:A Long Song]\n[ar:Someone]\n[al:Album]\n[by:Vantle]\n[offset:+120]\n";
    char tag[32];
    for (int i = 0; i < lineCount; ++i) {
        const int hundredths = i * 150;
        std::snprintf(tag, sizeof tag, "[%02d:%02d.%02d]", hundredths / 6000, hundredths / 100 % 60,
                      hundredths % 100);
        text += tag;
        if (i % 50 == 49) {
            text += '\n';
        } else if (i % 4 == 0) {
            for (int word = 0; word < 5; ++word) {
                const int at = hundredths + word * 25;
                std::snprintf(tag, sizeof tag, "<%02d:%02d.%02d>", at / 6000, at / 100 % 60, at % 100);
                text += tag;
                text += "word ";
            }
            text += '\n';
        } else {
            text += "Sing along with all the words of line " + std::to_string(i) + "\n";
        }
    }
    return text;
}

void BM_LrcParse(benchmark::State& state) {
    const std::string bytes = lrcText();
    const auto lyrics = vantle::parseLrc(bytes);
    if (!lyrics || lyrics->lines.size() != lineCount) {
        state.SkipWithError("the file does not read as 2,000 lines");
        return;
    }
    benchratio::measureAgainst(
        state, 10, [&] { benchmark::DoNotOptimize(vantle::parseLrc(bytes)); },
        [&] { benchmark::DoNotOptimize(vantle::splitTextLines(bytes)); });
    state.counters["file_kB"] = double(bytes.size()) / 1024;
}
BENCHMARK(BM_LrcParse)->Unit(benchmark::kMicrosecond);

void BM_LyricsReadBeside(benchmark::State& state) {
    testsupport::TemporaryFolder folder("vantle-bench");
    const std::string lrc = folder.file("Song.lrc");
    if (!platform::writeFileAtomically(lrc, std::string_view(lrcText()))) {
        state.SkipWithError("cannot write the lyrics");
        return;
    }
    const std::string song = folder.file("Song.mp3");
    benchratio::measureAgainst(
        state, 10, [&] { benchmark::DoNotOptimize(vantle::readLyricsBeside(song)); },
        [&] { benchmark::DoNotOptimize(platform::readFile(lrc, vantle::largestLyricsFileSize)); });
}
BENCHMARK(BM_LyricsReadBeside)->Unit(benchmark::kMicrosecond);

// A folder of a whole collection: 20,000 names, and the song's lyrics under a name in upper case, so
// that finding them lists the folder. The lyrics nearly fill the 2 MiB the timing reads, every line
// untimed.
struct TimingFolder {
    testsupport::TemporaryFolder folder{"vantle-bench"};
    std::string song = folder.file("Song.mp3");
    std::string lrc = folder.file("Song.LRC");
    std::string bytes;
    bool made = false;

    TimingFolder() {
        for (int i = 0; i < 20000; ++i)
            std::ofstream(folder.file("other " + std::to_string(i) + ".mp3"));
        const std::string line = "A line of the song, as long as most lines are sung\n";
        // Room left for the stamps the save benchmark adds.
        while (bytes.size() + line.size() <= vantle::largestLyricsFileSize - (64 << 10))
            bytes += line;
        made = bool(platform::writeFileAtomically(lrc, std::string_view(bytes)));
    }
};

// Taken at once, as a file written long ago.
class LongAgo final : public platform::Clock {
public:
    platform::Date now() const override { return platform::Clock::system().now().addingTimeInterval(3600); }
};

void BM_TimingMade(benchmark::State& state) {
    TimingFolder where;
    const LongAgo clock;
    if (!where.made || vantle::LyricsTiming(where.song, clock).lines().empty()) {
        state.SkipWithError("the lyrics were not found");
        return;
    }
    benchratio::measureAgainst(
        state, 3, [&] { benchmark::DoNotOptimize(vantle::LyricsTiming(where.song, clock)); },
        [&] { benchmark::DoNotOptimize(platform::readFile(where.lrc, vantle::largestLyricsFileSize)); });
}
BENCHMARK(BM_TimingMade)->Unit(benchmark::kMillisecond);

void BM_TimingSaved(benchmark::State& state) {
    TimingFolder where;
    const LongAgo clock;
    vantle::LyricsTiming timing(where.song, clock);
    // Each save writes one more stamp: the file changes every time, as at the end of a timing.
    double heard = 0;
    benchratio::measureAgainst(
        state, 3,
        [&] {
            if (!timing.stamp(heard += 1.0) || timing.save().outcome != vantle::SaveResult::Outcome::written)
                state.SkipWithError("the timing was not saved");
        },
        [&] {
            benchmark::DoNotOptimize(platform::writeFileAtomically(where.folder.file("copy"), where.bytes));
        });
}
BENCHMARK(BM_TimingSaved)->Unit(benchmark::kMillisecond);

} // namespace
