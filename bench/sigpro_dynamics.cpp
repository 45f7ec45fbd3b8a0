// Per-sample cost of the envelope, dynamics, distortion, delay, reverb and resonator modules, one core.
// Every benchmark runs blocks of 4096 compute calls and reports per_sample (seconds per compute call).

#include "Sigpro/modules/sp_adsr.h"
#include "Sigpro/modules/sp_allpass.h"
#include "Sigpro/modules/sp_bal.h"
#include "Sigpro/modules/sp_bitcrush.h"
#include "Sigpro/modules/sp_clip.h"
#include "Sigpro/modules/sp_comb.h"
#include "Sigpro/modules/sp_compressor.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_dist.h"
#include "Sigpro/modules/sp_jcrev.h"
#include "Sigpro/modules/sp_reson.h"
#include "Sigpro/modules/sp_streson.h"
#include "Sigpro/modules/sp_tbvcf.h"
#include "Sigpro/modules/sp_wpkorg35.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <random>
#include <vector>

namespace {

using namespace sigpro;

constexpr std::size_t dynamicsBlock = 4096;

const std::vector<float>& dynamicsInput() {
    static const std::vector<float> input = [] {
        std::mt19937 gen(11);
        std::uniform_real_distribution<float> dist(-0.8f, 0.8f);
        std::vector<float> v(dynamicsBlock);
        for (auto& s : v)
            s = dist(gen);
        return v;
    }();
    return input;
}

// Create, init with `init`, then time `compute(sp, p, n, in, out)` over blocks of the shared input.
template <class Record, class Init, class Compute>
void runDynamics(benchmark::State& state, int (*create)(Record**), int (*destroy)(Record**), Init init,
                 Compute compute) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    Record* p = nullptr;
    create(&p);
    init(sp, p);
    const auto& input = dynamicsInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < dynamicsBlock; ++n) {
            float x = input[n];
            float y;
            compute(sp, p, n, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    destroy(&p);
    sp_destroy(&sp);
    state.counters["per_sample"] =
        benchmark::Counter(double(state.iterations()) * dynamicsBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A one-input module with its parameters left at the defaults.
template <class Record>
void runDefaults(benchmark::State& state, int (*create)(Record**), int (*destroy)(Record**),
                 int (*init)(sp_data*, Record*), int (*compute)(sp_data*, Record*, float*, float*)) {
    runDynamics(
        state, create, destroy, [&](sp_data* sp, Record* p) { init(sp, p); },
        [&](sp_data* sp, Record* p, std::size_t, float* x, float* y) { compute(sp, p, x, y); });
}

// A loop module with a loop time of 0.1 s.
template <class Record>
void runLoop(benchmark::State& state, int (*create)(Record**), int (*destroy)(Record**),
             int (*init)(sp_data*, Record*, float), int (*compute)(sp_data*, Record*, float*, float*)) {
    runDynamics(
        state, create, destroy, [&](sp_data* sp, Record* p) { init(sp, p, 0.1f); },
        [&](sp_data* sp, Record* p, std::size_t, float* x, float* y) { compute(sp, p, x, y); });
}

// A gate that opens for the first half of each block and closes for the second: all four stages.
void BM_adsr(benchmark::State& s) {
    runDynamics(
        s, sp_adsr_create, sp_adsr_destroy, [](sp_data* sp, sp_adsr* p) { sp_adsr_init(sp, p); },
        [](sp_data* sp, sp_adsr* p, std::size_t n, float*, float* y) {
            float gate = n < dynamicsBlock / 2 ? 1.0f : 0.0f;
            sp_adsr_compute(sp, p, &gate, y);
        });
}
void BM_bal(benchmark::State& s) {
    runDynamics(
        s, sp_bal_create, sp_bal_destroy, [](sp_data* sp, sp_bal* p) { sp_bal_init(sp, p); },
        [](sp_data* sp, sp_bal* p, std::size_t, float* x, float* y) {
            float comparator = 0.5f * *x;
            sp_bal_compute(sp, p, x, &comparator, y);
        });
}
void BM_clip(benchmark::State& s) {
    runDefaults(s, sp_clip_create, sp_clip_destroy, sp_clip_init, sp_clip_compute);
}
void BM_compressor(benchmark::State& s) {
    runDynamics(
        s, sp_compressor_create, sp_compressor_destroy,
        [](sp_data* sp, sp_compressor* p) {
            sp_compressor_init(sp, p);
            *p->ratio = 4.0f;
            *p->threshold = -20.0f;
        },
        [](sp_data* sp, sp_compressor* p, std::size_t, float* x, float* y) {
            sp_compressor_compute(sp, p, x, y);
        });
}
void BM_dist(benchmark::State& s) {
    runDefaults(s, sp_dist_create, sp_dist_destroy, sp_dist_init, sp_dist_compute);
}
void BM_bitcrush(benchmark::State& s) {
    runDefaults(s, sp_bitcrush_create, sp_bitcrush_destroy, sp_bitcrush_init, sp_bitcrush_compute);
}
void BM_allpass(benchmark::State& s) {
    runLoop(s, sp_allpass_create, sp_allpass_destroy, sp_allpass_init, sp_allpass_compute);
}
void BM_comb(benchmark::State& s) {
    runLoop(s, sp_comb_create, sp_comb_destroy, sp_comb_init, sp_comb_compute);
}
void BM_jcrev(benchmark::State& s) {
    runDefaults(s, sp_jcrev_create, sp_jcrev_destroy, sp_jcrev_init, sp_jcrev_compute);
}
void BM_reson(benchmark::State& s) {
    runDefaults(s, sp_reson_create, sp_reson_destroy, sp_reson_init, sp_reson_compute);
}
void BM_streson(benchmark::State& s) {
    runDefaults(s, sp_streson_create, sp_streson_destroy, sp_streson_init, sp_streson_compute);
}
void BM_tbvcf(benchmark::State& s) {
    runDefaults(s, sp_tbvcf_create, sp_tbvcf_destroy, sp_tbvcf_init, sp_tbvcf_compute);
}
void BM_wpkorg35(benchmark::State& s) {
    runDefaults(s, sp_wpkorg35_create, sp_wpkorg35_destroy, sp_wpkorg35_init, sp_wpkorg35_compute);
}

// Parameters that change every sample: the coefficient work on each call.
void BM_reson_sweep(benchmark::State& s) {
    runDynamics(
        s, sp_reson_create, sp_reson_destroy, [](sp_data* sp, sp_reson* p) { sp_reson_init(sp, p); },
        [](sp_data* sp, sp_reson* p, std::size_t n, float* x, float* y) {
            p->frequency = 200.0f + static_cast<float>(n);
            p->bandwidth = 50.0f + static_cast<float>(n);
            sp_reson_compute(sp, p, x, y);
        });
}
void BM_wpkorg35_sweep(benchmark::State& s) {
    runDynamics(
        s, sp_wpkorg35_create, sp_wpkorg35_destroy,
        [](sp_data* sp, sp_wpkorg35* p) { sp_wpkorg35_init(sp, p); },
        [](sp_data* sp, sp_wpkorg35* p, std::size_t n, float* x, float* y) {
            p->cutoff = 200.0f + static_cast<float>(n);
            sp_wpkorg35_compute(sp, p, x, y);
        });
}
void BM_comb_sweep(benchmark::State& s) {
    runDynamics(
        s, sp_comb_create, sp_comb_destroy, [](sp_data* sp, sp_comb* p) { sp_comb_init(sp, p, 0.1f); },
        [](sp_data* sp, sp_comb* p, std::size_t n, float* x, float* y) {
            p->reverb_time = 1.0f + 0.001f * static_cast<float>(n);
            sp_comb_compute(sp, p, x, y);
        });
}

} // namespace

BENCHMARK(BM_adsr);
BENCHMARK(BM_bal);
BENCHMARK(BM_clip);
BENCHMARK(BM_compressor);
BENCHMARK(BM_dist);
BENCHMARK(BM_bitcrush);
BENCHMARK(BM_allpass);
BENCHMARK(BM_comb);
BENCHMARK(BM_comb_sweep);
BENCHMARK(BM_jcrev);
BENCHMARK(BM_reson);
BENCHMARK(BM_reson_sweep);
BENCHMARK(BM_streson);
BENCHMARK(BM_tbvcf);
BENCHMARK(BM_wpkorg35);
BENCHMARK(BM_wpkorg35_sweep);
