// CD+G graphics of a five-minute song (made by the tests' CD+G writer, as discs draw lyrics):
// - decoding the whole file from start to end (a fresh timeline each time, its snapshots included),
//   beside a reference that copies the same bytes and reads every one of them;
// - a seek back from the end to a random time, beside a reference that touches what the seek touches:
//   one screen's worth of memory copied and the packets between two snapshots read.
// Goals: the whole song in under a thousandth of its playing time (300 ms), a seek under 5 ms. A dense
// file and one of nothing but scrolls show the worst a file can cost.

#include "BenchRatio.h"
#include "Source/karaoke/CdgDecoder.h"
#include "tests/support/CdgWriter.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
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

// Decodes `bytes` whole, to the last screen, beside a reference that copies them and reads each one and
// then does `alsoTouch` to the copy (what else the decode cannot help touching); the budget share is of
// a thousandth of the song's playing time.
template <typename AlsoTouch>
void measureWholeDecode(benchmark::State& state, const std::vector<std::uint8_t>& bytes,
                        AlsoTouch alsoTouch) {
    benchratio::measureAgainst(
        state, 1,
        [&] {
            auto timeline = vantle::CdgTimeline::fromBytes(bytes);
            benchmark::DoNotOptimize(timeline->screenAt(songSeconds).pixels[1000]);
        },
        [&] {
            std::vector<std::uint8_t> copy = bytes;
            benchmark::DoNotOptimize(std::accumulate(copy.begin(), copy.end(), 0u));
            alsoTouch(copy);
        });
    state.counters["budget_share"] = state.counters["work_ns"] / (songSeconds * 1e9 / 1000);
}

void measureWholeDecode(benchmark::State& state, const std::vector<std::uint8_t>& bytes) {
    measureWholeDecode(state, bytes, [](const std::vector<std::uint8_t>&) {});
}

void BM_CdgDecodeWholeSong(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = song();
    measureWholeDecode(state, bytes);
}
BENCHMARK(BM_CdgDecodeWholeSong)->Unit(benchmark::kMillisecond)->Iterations(20);

// The worst a disc could do: every packet of the five minutes a graphics packet, tiles and XOR tiles
// all over the screen, a scroll every second.
void BM_CdgDecodeDenseSong(benchmark::State& state) {
    namespace cdg = testsupport::cdg;
    cdg::CdgWriter writer;
    for (std::size_t k = 0; k < std::size_t(songSeconds * 300); ++k) {
        const int row = int(k / 50 % 18), column = int(k % 50);
        if (k % 300 == 299)
            writer.append(cdg::scroll(k % 600 == 299, 3, 0, 0, 2, 0));
        else
            writer.append(
                cdg::tileBlock(int(k % 16), int(k / 7 % 16), row, column, cdg::solid(), k % 2 == 1));
    }
    const std::vector<std::uint8_t>& bytes = writer.bytes();
    measureWholeDecode(state, bytes);
}
BENCHMARK(BM_CdgDecodeDenseSong)->Unit(benchmark::kMillisecond)->Iterations(20);

// The costliest packets there are, every one of the five minutes: scroll copies moving the whole
// screen both ways at once (no disc does this; a damaged or hostile file might). Beside it the same
// bytes read, and the memory a scroll moves (the screen copied) once per packet.
const std::vector<std::uint8_t>& scrollsOnly() {
    static const std::vector<std::uint8_t> bytes = [] {
        namespace cdg = testsupport::cdg;
        cdg::CdgWriter writer;
        for (std::size_t k = 0; k < std::size_t(songSeconds * 300); ++k)
            writer.append(cdg::scroll(true, 0, k % 2 ? 1 : 2, 3, k % 3 ? 1 : 2, 5));
        return writer.bytes();
    }();
    return bytes;
}

void BM_CdgDecodeScrollsOnly(benchmark::State& state) {
    const std::vector<std::uint8_t>& bytes = scrollsOnly();
    vantle::CdgScreen from, to;
    vantle::CdgScreen* escaped = &to; // so that the copies below cannot be folded into one
    benchmark::DoNotOptimize(escaped);
    measureWholeDecode(state, bytes, [&](const std::vector<std::uint8_t>& copy) {
        for (std::size_t k = 0; k < copy.size() / 24; ++k) {
            std::memcpy(to.pixels.data(), from.pixels.data(), from.pixels.size());
            benchmark::DoNotOptimize(to.pixels[k % to.pixels.size()]);
            benchmark::ClobberMemory();
        }
    });
}
BENCHMARK(BM_CdgDecodeScrollsOnly)->Unit(benchmark::kMillisecond)->Iterations(10);

// Argument 0: the song; 1: the file of nothing but scrolls. The reference of each seek touches what
// that seek did: one screen copied (the snapshot) and the packets it replayed read, and for the file
// of scrolls one screen's memory moved per packet.
void BM_CdgSeekBackFromEnd(benchmark::State& state) {
    const bool scrolls = state.range(0) == 1;
    const std::vector<std::uint8_t>& bytes = scrolls ? scrollsOnly() : song();
    auto timeline = vantle::CdgTimeline::fromBytes(bytes);
    (void)timeline->screenAt(songSeconds);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> anyTime(0.0, songSeconds);
    const vantle::CdgScreen source = timeline->screenAt(songSeconds);
    vantle::CdgScreen target;
    vantle::CdgScreen* escaped = &target; // so that the copies below cannot be folded into one
    benchmark::DoNotOptimize(escaped);
    using Clock = std::chrono::steady_clock;
    double bestWork = std::numeric_limits<double>::infinity(), bestReference = bestWork;
    double worstWork = 0;
    constexpr int batch = 50;
    std::array<std::size_t, batch> replayed{}, firstPacket{};
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
            replayed[std::size_t(i)] = timeline->lastReplayedPackets();
            firstPacket[std::size_t(i)] = std::size_t(t * 300) + 1 - replayed[std::size_t(i)];
        }
        const auto start = Clock::now();
        for (std::size_t i = 0; i < batch; ++i) {
            std::memcpy(&target, &source, sizeof target);
            const auto from = bytes.begin() + long(firstPacket[i] * 24);
            benchmark::DoNotOptimize(std::accumulate(from, from + long(replayed[i] * 24), 0u));
            for (std::size_t k = 0; scrolls && k < replayed[i]; ++k) {
                std::memcpy(target.pixels.data(), source.pixels.data(), source.pixels.size());
                benchmark::ClobberMemory();
            }
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
BENCHMARK(BM_CdgSeekBackFromEnd)->Arg(0)->Arg(1)->Iterations(40);

} // namespace
