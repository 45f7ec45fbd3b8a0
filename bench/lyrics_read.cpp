// Reading a song's lyrics: an LRC file of 2,000 lines (a long song timed word by word, or a medley)
// parsed from its bytes, against splitting the same bytes into lines; and read from beside the song,
// against reading the same file's bytes. Each reports its ratio to its reference, in one run.
//
//   bench_lyrics_read [benchmark flags]

#include "Source/karaoke/LyricsFile.h"
#include "Source/session/TextNote.h"
#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include "BenchRatio.h"

#include <cstdio>
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

} // namespace
