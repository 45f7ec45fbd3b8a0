// The silence between singers, measured on the application player's output rendered offline: after a
// song whose music stops two seconds into a file that runs on silent for six, the longest stretch under
// −20 dBFS before the break music is heard, and after the host's "start next singer" before the next
// song (the break music fading out over its two seconds first). The references come from the same
// evening rendered without break music, the host starting at the end of the silent tail: what the room
// heard with the song's file left to run out.
//
//   bench_between_singers

#include "tests/support/BetweenSingersRig.h"
#include "tests/support/ConsoleCapture.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace {

void BM_SilenceBetweenSingers(benchmark::State& state) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vantle-between-singers-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    testsupport::ScopedConsoleCapture quiet;
    testsupport::BetweenSingersRig rig(folder.string());
    if (!rig.written()) {
        state.SkipWithError("the songs could not be written");
        return;
    }
    testsupport::BetweenSingersTimes with, without;
    for (auto _ : state) {
        with = rig.run(4.0);
        without = rig.run(testsupport::BetweenSingersRig::silentTailSeconds, nullptr, false);
    }
    state.counters["afterEnd_s"] = with.silenceAfterEnd;
    state.counters["afterEndWithout_s"] = without.silenceAfterEnd;
    state.counters["afterEnd_ratio"] = with.silenceAfterEnd / without.silenceAfterEnd;
    state.counters["afterStart_s"] = with.silenceAfterStart;
    state.counters["startToSong_s"] = with.nextSongStarts - with.hostStarts;
    state.counters["afterStartWithout_s"] = without.silenceAfterStart;
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_SilenceBetweenSingers)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
