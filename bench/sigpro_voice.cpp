// Per-sample cost of the voice, metal bar, phase vocoder, auto-wah and panner modules, one core. Every
// benchmark runs blocks of 4096 compute calls and reports per_sample (seconds per compute call).

#include "Sigpro/modules/sp_autowah.h"
#include "Sigpro/modules/sp_bar.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "Sigpro/modules/sp_mincer.h"
#include "Sigpro/modules/sp_panst.h"
#include "Sigpro/modules/sp_voc.h"
#include "Sigpro/modules/sp_vocwrapper.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace sigpro;

constexpr std::size_t voiceBlock = 4096;

const std::vector<float>& voiceInput() {
    static const std::vector<float> input = [] {
        std::mt19937 gen(11);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        std::vector<float> v(voiceBlock);
        for (auto& s : v)
            s = dist(gen);
        return v;
    }();
    return input;
}

void voiceReportPerSample(benchmark::State& state) {
    state.counters["per_sample"] = benchmark::Counter(
        double(state.iterations()) * voiceBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// One context for the whole benchmark.
struct VoiceContext {
    sp_data* sp = nullptr;
    VoiceContext() { sp_create(&sp); }
    ~VoiceContext() { sp_destroy(&sp); }
};

void BM_voc(benchmark::State& state) {
    VoiceContext c;
    sp_voc* p = nullptr;
    sp_voc_create(&p);
    sp_voc_init(c.sp, p);
    for (auto _ : state) {
        for (std::size_t n = 0; n < voiceBlock; ++n) {
            float y;
            sp_voc_compute(c.sp, p, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_voc_destroy(&p);
    voiceReportPerSample(state);
}

// The wrapper as the kernel drives it, with the tongue moving slowly.
void BM_vocwrapper(benchmark::State& state) {
    VoiceContext c;
    sp_vocwrapper* p = nullptr;
    sp_vocwrapper_create(&p);
    p->diameter = 0.5f;
    sp_vocwrapper_init(c.sp, p);
    for (auto _ : state) {
        for (std::size_t n = 0; n < voiceBlock; ++n) {
            p->position = 0.5f + 0.5f * float(n) / float(voiceBlock);
            float y;
            sp_vocwrapper_compute(c.sp, p, nullptr, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_vocwrapper_destroy(&p);
    voiceReportPerSample(state);
}

// The metal-bar kernel's set-up (stiffness 3, loss 0.0001: 85 grid points), struck once per block.
void BM_bar(benchmark::State& state) {
    VoiceContext c;
    sp_bar* p = nullptr;
    sp_bar_create(&p);
    sp_bar_init(c.sp, p, 3.0f, 0.0001f);
    for (auto _ : state) {
        for (std::size_t n = 0; n < voiceBlock; ++n) {
            float trigger = n == 0 ? 1.0f : 0.0f;
            float y;
            sp_bar_compute(c.sp, p, &trigger, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_bar_destroy(&p);
    voiceReportPerSample(state);
}

// The phase-locked vocoder kernel's set-up (frames of 2048) over two seconds of noise, time moving in
// real time; the argument is the pitch ratio in percent.
void BM_mincer(benchmark::State& state) {
    VoiceContext c;
    sp_ftbl* ft = nullptr;
    sp_ftbl_create(c.sp, &ft, 88200);
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    for (std::size_t i = 0; i < ft->size; ++i)
        ft->table[i] = dist(gen);
    sp_mincer* p = nullptr;
    sp_mincer_create(&p);
    sp_mincer_init(c.sp, p, ft, 2048);
    p->pitch = float(state.range(0)) / 100.0f;
    std::size_t frame = 0;
    for (auto _ : state) {
        for (std::size_t n = 0; n < voiceBlock; ++n) {
            p->time = float(frame++ % 88200) / 44100.0f;
            float y;
            sp_mincer_compute(c.sp, p, nullptr, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_mincer_destroy(&p);
    sp_ftbl_destroy(&ft);
    voiceReportPerSample(state);
}

void BM_autowah(benchmark::State& state) {
    VoiceContext c;
    sp_autowah* p = nullptr;
    sp_autowah_create(&p);
    sp_autowah_init(c.sp, p);
    *p->wah = 1.0f;
    *p->level = 1.0f;
    const auto& input = voiceInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < voiceBlock; ++n) {
            float x = input[n];
            float y;
            sp_autowah_compute(c.sp, p, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    sp_autowah_destroy(&p);
    voiceReportPerSample(state);
}

// One stereo frame per call; the argument is the panning law, the pan moving every sample.
void BM_panst(benchmark::State& state) {
    VoiceContext c;
    sp_panst* p = nullptr;
    sp_panst_create(&p);
    sp_panst_init(c.sp, p);
    p->type = static_cast<std::uint32_t>(state.range(0));
    const auto& input = voiceInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < voiceBlock; ++n) {
            p->pan = input[n];
            float left = input[n], right = input[voiceBlock - 1 - n], outLeft, outRight;
            sp_panst_compute(c.sp, p, &left, &right, &outLeft, &outRight);
            benchmark::DoNotOptimize(outLeft);
            benchmark::DoNotOptimize(outRight);
        }
    }
    sp_panst_destroy(&p);
    voiceReportPerSample(state);
}

} // namespace

BENCHMARK(BM_voc);
BENCHMARK(BM_vocwrapper);
BENCHMARK(BM_bar);
BENCHMARK(BM_mincer)->Arg(100)->Arg(150);
BENCHMARK(BM_autowah);
BENCHMARK(BM_panst)->DenseRange(0, 3);
