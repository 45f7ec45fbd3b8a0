// Per-sample cost of the plucked string, the variable delay and the two stereo reverbs, one core. Every
// benchmark runs blocks of 4096 compute calls (one call is one mono sample or one stereo frame) and
// reports per_sample (seconds per compute call).

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_pluck.h"
#include "Sigpro/modules/sp_revsc.h"
#include "Sigpro/modules/sp_vdelay.h"
#include "Sigpro/modules/sp_zitarev.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using namespace sigpro;

constexpr std::size_t reverbBlock = 4096;

const std::vector<float>& reverbInput() {
    static const std::vector<float> input = [] {
        std::mt19937 gen(11);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        std::vector<float> v(reverbBlock);
        for (auto& s : v)
            s = dist(gen);
        return v;
    }();
    return input;
}

void reverbReportPerSample(benchmark::State& state) {
    state.counters["per_sample"] = benchmark::Counter(
        double(state.iterations()) * reverbBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Owns a context at `rate` and one module record for the length of a benchmark.
template <class Record> struct ReverbBench {
    sp_data* sp = nullptr;
    Record* p = nullptr;
    int (*destroy)(Record**);
    ReverbBench(int rate, int (*create)(Record**), int (*destroyFn)(Record**)) : destroy(destroyFn) {
        sp_create(&sp);
        sp->sample_rate = rate;
        create(&p);
    }
    ~ReverbBench() {
        destroy(&p);
        sp_destroy(&sp);
    }
    ReverbBench(const ReverbBench&) = delete;
    ReverbBench& operator=(const ReverbBench&) = delete;
};

void BM_pluck(benchmark::State& state) {
    ReverbBench<sp_pluck> b(44100, sp_pluck_create, sp_pluck_destroy);
    sp_pluck_init(b.sp, b.p, 110.0f);
    b.p->frequency = 440.0f;
    for (auto _ : state) {
        for (std::size_t n = 0; n < reverbBlock; ++n) {
            float trigger = n == 0 ? 1.0f : 0.0f;
            float y;
            sp_pluck_compute(b.sp, b.p, &trigger, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    reverbReportPerSample(state);
}

// A fixed fractional delay with feedback in the kernel's default 10 s line.
void BM_vdelay(benchmark::State& state) {
    ReverbBench<sp_vdelay> b(44100, sp_vdelay_create, sp_vdelay_destroy);
    sp_vdelay_init(b.sp, b.p, 10.0f);
    b.p->delay = 0.2503f;
    b.p->feedback = 0.5f;
    const auto& input = reverbInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < reverbBlock; ++n) {
            float x = input[n];
            float y;
            sp_vdelay_compute(b.sp, b.p, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    reverbReportPerSample(state);
}

// A delay time that changes every sample, as under a ramp.
void BM_vdelay_sweep(benchmark::State& state) {
    ReverbBench<sp_vdelay> b(44100, sp_vdelay_create, sp_vdelay_destroy);
    sp_vdelay_init(b.sp, b.p, 10.0f);
    b.p->feedback = 0.5f;
    const auto& input = reverbInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < reverbBlock; ++n) {
            float x = input[n];
            float y;
            b.p->delay = 0.1f + 1e-6f * static_cast<float>(n);
            sp_vdelay_compute(b.sp, b.p, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    reverbReportPerSample(state);
}

void BM_revsc(benchmark::State& state) {
    ReverbBench<sp_revsc> b(44100, sp_revsc_create, sp_revsc_destroy);
    sp_revsc_init(b.sp, b.p);
    const auto& input = reverbInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < reverbBlock; ++n) {
            float l = input[n], r = input[reverbBlock - 1 - n];
            float outL, outR;
            sp_revsc_compute(b.sp, b.p, &l, &r, &outL, &outR);
            benchmark::DoNotOptimize(outL);
            benchmark::DoNotOptimize(outR);
        }
    }
    reverbReportPerSample(state);
}

// Arguments: sample rate.
void BM_zitarev(benchmark::State& state) {
    ReverbBench<sp_zitarev> b(static_cast<int>(state.range(0)), sp_zitarev_create, sp_zitarev_destroy);
    sp_zitarev_init(b.sp, b.p);
    const auto& input = reverbInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < reverbBlock; ++n) {
            float l = input[n], r = input[reverbBlock - 1 - n];
            float outL, outR;
            sp_zitarev_compute(b.sp, b.p, &l, &r, &outL, &outR);
            benchmark::DoNotOptimize(outL);
            benchmark::DoNotOptimize(outR);
        }
    }
    reverbReportPerSample(state);
}

// Every parameter the kernel ramps changes every frame: the coefficient recomputation on each call.
void BM_zitarev_ramping(benchmark::State& state) {
    ReverbBench<sp_zitarev> b(44100, sp_zitarev_create, sp_zitarev_destroy);
    sp_zitarev_init(b.sp, b.p);
    const auto& input = reverbInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < reverbBlock; ++n) {
            const float t = 1e-4f * static_cast<float>(n);
            *b.p->crossover_frequency = 200.0f + t;
            *b.p->low_release_time = 3.0f + t;
            *b.p->mid_release_time = 2.0f + t;
            *b.p->damping_frequency = 6000.0f + t;
            *b.p->equalizer_frequency1 = 315.0f + t;
            *b.p->equalizer_level1 = t;
            *b.p->equalizer_frequency2 = 1000.0f + t;
            *b.p->equalizer_level2 = t;
            float l = input[n], r = input[reverbBlock - 1 - n];
            float outL, outR;
            sp_zitarev_compute(b.sp, b.p, &l, &r, &outL, &outR);
            benchmark::DoNotOptimize(outL);
            benchmark::DoNotOptimize(outR);
        }
    }
    reverbReportPerSample(state);
}

} // namespace

BENCHMARK(BM_pluck);
BENCHMARK(BM_vdelay);
BENCHMARK(BM_vdelay_sweep);
BENCHMARK(BM_revsc);
BENCHMARK(BM_zitarev)->Arg(44100)->Arg(192000);
BENCHMARK(BM_zitarev_ramping);
