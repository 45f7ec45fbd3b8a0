// Per-sample cost of the pitch shifter, the pitch tracker (alone and through its buffer interface) and
// the stereo phaser, one core. Each iteration runs a block of compute calls and reports per_sample (seconds
// per compute call, a stereo frame for the phaser); the tracker's blocks span whole hops, so its analyses
// are spread over the samples as in use.

#include "Sigpro/modules/PitchTracker.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_phaser.h"
#include "Sigpro/modules/sp_pshift.h"
#include "Sigpro/modules/sp_ptrack.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace sigpro;

constexpr std::size_t pitchBlock = 16384;

// A harmonic tone at 196 Hz with a little noise: the tracker keeps peaks and votes on every analysis.
const std::vector<float>& pitchInput() {
    static const std::vector<float> input = [] {
        std::mt19937 gen(11);
        std::uniform_real_distribution<float> noise(-0.01f, 0.01f);
        std::vector<float> v(pitchBlock);
        for (std::size_t i = 0; i < v.size(); ++i) {
            double sum = 0.0;
            for (int k = 1; k <= 8; ++k)
                sum += 0.3 / k * std::sin(2.0 * std::numbers::pi * 196.0 * k * double(i) / 44100.0 + k);
            v[i] = static_cast<float>(sum) + noise(gen);
        }
        return v;
    }();
    return input;
}

void reportPitchPerSample(benchmark::State& state) {
    state.counters["per_sample"] = benchmark::Counter(
        double(state.iterations()) * pitchBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_pshift(benchmark::State& state) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    sp_pshift* p = nullptr;
    sp_pshift_create(&p);
    sp_pshift_init(sp, p);
    *p->shift = 7.0f;
    const auto& input = pitchInput();
    for (auto _ : state) {
        for (float s : input) {
            float x = s, y;
            sp_pshift_compute(sp, p, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_pshift_destroy(&p);
    sp_destroy(&sp);
    reportPitchPerSample(state);
}

// Argument: the hop size (20 peaks, as the pitch tap uses).
void BM_ptrack(benchmark::State& state) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    sp_ptrack* p = nullptr;
    sp_ptrack_create(&p);
    sp_ptrack_init(sp, p, static_cast<int>(state.range(0)), 20);
    const auto& input = pitchInput();
    for (auto _ : state) {
        for (float s : input) {
            float x = s, pitch, amplitude;
            sp_ptrack_compute(sp, p, &x, &pitch, &amplitude);
            benchmark::DoNotOptimize(pitch);
        }
    }
    sp_ptrack_destroy(&p);
    sp_destroy(&sp);
    reportPitchPerSample(state);
}

// The pitch tap's use: hop 4096, 20 peaks, buffers of 512 frames.
void BM_pitchTrackerAnalyze(benchmark::State& state) {
    PitchTracker* t = rzPitchTrackerCreate(44100, 4096, 20);
    const auto& input = pitchInput();
    for (auto _ : state) {
        for (std::size_t at = 0; at < input.size(); at += 512)
            rzPitchTrackerAnalyze(t, input.data() + at, 512);
        float amplitude, pitch;
        rzPitchTrackerGetAmplitudeAndPitch(t, &amplitude, &pitch);
        benchmark::DoNotOptimize(pitch);
    }
    rzPitchTrackerDestroy(t);
    reportPitchPerSample(state);
}

void BM_phaser(benchmark::State& state) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    sp_phaser* p = nullptr;
    sp_phaser_create(&p);
    sp_phaser_init(sp, p);
    *p->feedback_gain = 0.4f;
    const auto& input = pitchInput();
    for (auto _ : state) {
        for (float s : input) {
            float left = s, right = -s, outLeft, outRight;
            sp_phaser_compute(sp, p, &left, &right, &outLeft, &outRight);
            benchmark::DoNotOptimize(outLeft);
            benchmark::DoNotOptimize(outRight);
        }
    }
    sp_phaser_destroy(&p);
    sp_destroy(&sp);
    reportPitchPerSample(state);
}

} // namespace

BENCHMARK(BM_pshift);
BENCHMARK(BM_ptrack)->Arg(512)->Arg(1024)->Arg(4096);
BENCHMARK(BM_pitchTrackerAnalyze);
BENCHMARK(BM_phaser);
