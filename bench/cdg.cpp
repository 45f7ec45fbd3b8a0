// CD+G graphics of a five-minute song (made by the tests' CD+G writer, as discs draw lyrics):
// - decoding the whole file from start to end (a fresh timeline each time, its snapshots included),
//   beside a reference that copies the same bytes and reads every one of them;
// - a seek back from the end to a random time, beside a reference that touches what the seek touches:
//   one screen's worth of memory copied and the packets between two snapshots read.
// Goals: the whole song in under a thousandth of its playing time (300 ms), a seek under 5 ms.

#include "BenchRatio.h"
#include "Source/karaoke/CdgDecoder.h"
#include "tests/support/CdgWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace {

constexpr double songSeconds = 300.0;

const std::vector<std::uint8_t>& song() {
    static const std::vector<std::uint8_t> bytes = testsupport::cdg::karaokeSong(songSeconds, 11);
    return bytes;
}

void BM_CdgDecodeWholeSong(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = song();
    benchratio::measureAgainst(
        state, 1,
        [&] {
            auto timeline = vantle::CdgTimeline::fromBytes(bytes);
            benchmark::DoNotOptimize(timeline->screenAt(songSeconds).pixels[1000]);
        },
        [&] {
            std::vector<std::uint8_t> copy = bytes;
            benchmark::DoNotOptimize(std::accumulate(copy.begin(), copy.end(), 0u));
        });
    state.counters["budget_share"] = state.counters["work_ns"] / (songSeconds * 1e9 / 1000);
}
BENCHMARK(BM_CdgDecodeWholeSong)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_CdgSeekBackFromEnd(benchmark::State& state) {
    auto timeline = vantle::CdgTimeline::fromBytes(song());
    (void)timeline->screenAt(songSeconds);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> anyTime(0.0, songSeconds);
    // What a seek touches at most: one snapshot copied, then three seconds of packets read.
    const vantle::CdgScreen source = timeline->screenAt(songSeconds);
    vantle::CdgScreen target;
    const std::size_t replayBytes = 3 * 300 * 24;
    using Clock = std::chrono::steady_clock;
    double bestWork = std::numeric_limits<double>::infinity(), bestReference = bestWork;
    double worstWork = 0;
    constexpr int batch = 50;
    for (auto _ : state) {
        double work = 0;
        for (int i = 0; i < batch; ++i) {
            (void)timeline->screenAt(songSeconds); // back at the end, untimed
            const double t = anyTime(random);
            const auto start = Clock::now();
            benchmark::DoNotOptimize(timeline->screenAt(t).pixels[500]);
            const double took = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
            work += took;
            worstWork = std::max(worstWork, took);
        }
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i) {
            const std::size_t offset = std::size_t(anyTime(random) * 300) * 24 % (song().size() - replayBytes);
            std::memcpy(&target, &source, sizeof target);
            benchmark::DoNotOptimize(
                std::accumulate(song().begin() + long(offset), song().begin() + long(offset + replayBytes), 0u));
            benchmark::DoNotOptimize(target.pixels[500]);
        }
        const double reference = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        bestWork = std::min(bestWork, work / batch);
        bestReference = std::min(bestReference, reference / batch);
    }
    state.counters["work_ns"] = bestWork;
    state.counters["reference_ns"] = bestReference;
    state.counters["ratio"] = bestWork / bestReference;
    state.counters["worst_seek_ns"] = worstWork;
    state.counters["snapshots"] = double(timeline->snapshotCount());
}
BENCHMARK(BM_CdgSeekBackFromEnd)->Iterations(40);

} // namespace
