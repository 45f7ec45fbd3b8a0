// The Sigpro FFT beside FFTW (single precision, one thread, measured plans) for N = 512 ... 8192, and the
// per-sample cost of the modules built on it. Every benchmark reports per_sample (seconds): for transforms,
// time per transform over N; for modules, time per compute call.

#include "Sigpro/modules/sp_conv.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_fft.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "Sigpro/modules/sp_pareq.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <random>
#include <vector>

#if VANTLE_BENCH_FFTW
#include <fftw3.h>
#endif

namespace {

using namespace sigpro;

std::vector<float> benchNoise(std::size_t n) {
    std::mt19937 gen(1);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> v(n);
    for (auto& s : v)
        s = dist(gen);
    return v;
}

void benchReportPerSample(benchmark::State& state, double samplesPerIteration) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * samplesPerIteration));
    state.counters["per_sample"] = benchmark::Counter(
        samplesPerIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Each iteration transforms a fresh copy so the input stays bounded; the copy is timed for both libraries.
template <void (*Transform)(sp_fft*, float*, int)>
void BM_Sigpro(benchmark::State& state, int floatsPerPoint) {
    int n = static_cast<int>(state.range(0));
    sp_fft fft{};
    sp_fft_init(&fft, std::countr_zero(static_cast<unsigned>(n)));
    std::vector<float> source = benchNoise(static_cast<std::size_t>(n) * floatsPerPoint);
    std::vector<float> work(source.size());
    for (auto _ : state) {
        work = source;
        Transform(&fft, work.data(), n);
        benchmark::DoNotOptimize(work.data());
    }
    sp_fft_destroy(&fft);
    benchReportPerSample(state, n);
}

void BM_SigproRealForward(benchmark::State& state) {
    BM_Sigpro<sp_fftr>(state, 1);
}
void BM_SigproRealInverse(benchmark::State& state) {
    BM_Sigpro<sp_ifftr>(state, 1);
}
void BM_SigproComplexForward(benchmark::State& state) {
    BM_Sigpro<sp_fft_cpx>(state, 2);
}

BENCHMARK(BM_SigproRealForward)->RangeMultiplier(2)->Range(512, 8192);
BENCHMARK(BM_SigproRealInverse)->RangeMultiplier(2)->Range(512, 8192);
BENCHMARK(BM_SigproComplexForward)->RangeMultiplier(2)->Range(512, 8192);

#if VANTLE_BENCH_FFTW
enum class FftwKind { realForward, realInverse, complexForward };

template <FftwKind Kind> void BM_Fftw(benchmark::State& state) {
    int n = static_cast<int>(state.range(0));
    // In place, as the Sigpro transforms are: n + 2 floats hold the n / 2 + 1 complex bins.
    std::size_t floats = Kind == FftwKind::complexForward ? 2 * static_cast<std::size_t>(n) : n + 2;
    auto* work = static_cast<float*>(fftwf_malloc(sizeof(float) * floats));
    auto* cwork = reinterpret_cast<fftwf_complex*>(work);
    fftwf_plan plan = nullptr;
    if constexpr (Kind == FftwKind::realForward)
        plan = fftwf_plan_dft_r2c_1d(n, work, cwork, FFTW_MEASURE);
    else if constexpr (Kind == FftwKind::realInverse)
        plan = fftwf_plan_dft_c2r_1d(n, cwork, work, FFTW_MEASURE);
    else
        plan = fftwf_plan_dft_1d(n, cwork, cwork, FFTW_FORWARD, FFTW_MEASURE);
    std::vector<float> source = benchNoise(floats);
    for (auto _ : state) {
        std::copy(source.begin(), source.end(), work);
        fftwf_execute(plan);
        benchmark::DoNotOptimize(work);
    }
    fftwf_destroy_plan(plan);
    fftwf_free(work);
    benchReportPerSample(state, n);
}

BENCHMARK(BM_Fftw<FftwKind::realForward>)->Name("BM_FftwRealForward")->RangeMultiplier(2)->Range(512, 8192);
BENCHMARK(BM_Fftw<FftwKind::realInverse>)->Name("BM_FftwRealInverse")->RangeMultiplier(2)->Range(512, 8192);
BENCHMARK(BM_Fftw<FftwKind::complexForward>)
    ->Name("BM_FftwComplexForward")
    ->RangeMultiplier(2)
    ->Range(512, 8192);
#endif

// The treble control's case: steady parameters, one sample per call. range(0) = 1 changes the frequency
// every sample, which recomputes the coefficients each time (the cost while a parameter ramps).
void BM_SpPareq(benchmark::State& state) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    sp_pareq* eq = nullptr;
    sp_pareq_create(&eq);
    sp_pareq_init(sp, eq);
    eq->mode = 2.0f;
    eq->gain = 2.0f;
    std::vector<float> input = benchNoise(4096);
    bool ramping = state.range(0) != 0;
    float frequency = 1000.0f;
    for (auto _ : state) {
        for (float x : input) {
            if (ramping) eq->frequency = (frequency += 0.01f);
            float y;
            sp_pareq_compute(sp, eq, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_pareq_destroy(&eq);
    sp_destroy(&sp);
    benchReportPerSample(state, static_cast<double>(input.size()));
}
BENCHMARK(BM_SpPareq)->ArgName("ramping")->Arg(0)->Arg(1);

// One second of impulse response (44100 points) at partition lengths 256 ... 4096.
void BM_SpConv(benchmark::State& state) {
    sp_data* sp = nullptr;
    sp_create(&sp);
    std::vector<float> ir = benchNoise(44100);
    sp_ftbl* ft = nullptr;
    sp_ftbl_create(sp, &ft, ir.size());
    std::copy(ir.begin(), ir.end(), ft->table);
    sp_conv* conv = nullptr;
    sp_conv_create(&conv);
    sp_conv_init(sp, conv, ft, static_cast<float>(state.range(0)));
    std::vector<float> input = benchNoise(8192);
    for (auto _ : state) {
        for (float x : input) {
            float y;
            sp_conv_compute(sp, conv, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_conv_destroy(&conv);
    sp_ftbl_destroy(&ft);
    sp_destroy(&sp);
    benchReportPerSample(state, static_cast<double>(input.size()));
}
BENCHMARK(BM_SpConv)->ArgName("partition")->RangeMultiplier(4)->Range(256, 4096);

} // namespace
