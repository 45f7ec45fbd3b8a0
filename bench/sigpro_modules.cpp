// Per-sample cost of the filter, oscillator, noise and phase modules, one core. Every benchmark runs
// blocks of 4096 compute calls and reports per_sample (seconds per compute call).

#include "Sigpro/modules/sp_atone.h"
#include "Sigpro/modules/sp_blsquare.h"
#include "Sigpro/modules/sp_brown.h"
#include "Sigpro/modules/sp_butbp.h"
#include "Sigpro/modules/sp_butbr.h"
#include "Sigpro/modules/sp_buthp.h"
#include "Sigpro/modules/sp_butlp.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_dcblock.h"
#include "Sigpro/modules/sp_diode.h"
#include "Sigpro/modules/sp_dynamicosc.h"
#include "Sigpro/modules/sp_eqfil.h"
#include "Sigpro/modules/sp_fofilt.h"
#include "Sigpro/modules/sp_fosc.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "Sigpro/modules/sp_lpf18.h"
#include "Sigpro/modules/sp_mode.h"
#include "Sigpro/modules/sp_moogladder.h"
#include "Sigpro/modules/sp_noise.h"
#include "Sigpro/modules/sp_osc.h"
#include "Sigpro/modules/sp_oscmorph.h"
#include "Sigpro/modules/sp_pdhalf.h"
#include "Sigpro/modules/sp_phasor.h"
#include "Sigpro/modules/sp_pinknoise.h"
#include "Sigpro/modules/sp_tabread.h"
#include "Sigpro/modules/sp_tone.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace {

using namespace sigpro;

constexpr std::size_t moduleBlock = 4096;

const std::vector<float>& moduleInput() {
    static const std::vector<float> input = [] {
        std::mt19937 gen(7);
        std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
        std::vector<float> v(moduleBlock);
        for (auto& s : v)
            s = dist(gen);
        return v;
    }();
    return input;
}

// A 4096-point sine table for the table readers.
struct ModuleBenchTable {
    sp_data* sp = nullptr;
    sp_ftbl* ft = nullptr;
    ModuleBenchTable() {
        sp_create(&sp);
        sp_ftbl_create(sp, &ft, 4096);
        for (std::size_t i = 0; i <= 4096; ++i)
            ft->table[i] = static_cast<float>(std::sin(2.0 * std::numbers::pi * double(i) / 4096.0));
    }
    ~ModuleBenchTable() {
        sp_ftbl_destroy(&ft);
        sp_destroy(&sp);
    }
};

void reportPerSample(benchmark::State& state) {
    state.counters["per_sample"] = benchmark::Counter(
        double(state.iterations()) * moduleBlock, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Create, init with `init`, then time `compute` over blocks of the shared input.
template <class Record, class Init, class Compute>
void runModule(benchmark::State& state, int (*create)(Record**), int (*destroy)(Record**), Init init,
               Compute compute) {
    ModuleBenchTable table;
    Record* p = nullptr;
    create(&p);
    init(table, p);
    const auto& input = moduleInput();
    for (auto _ : state) {
        for (std::size_t n = 0; n < moduleBlock; ++n) {
            float x = input[n];
            float y;
            compute(table, p, n, &x, &y);
            benchmark::DoNotOptimize(y);
        }
    }
    destroy(&p);
    reportPerSample(state);
}

// A one-input filter with its parameters left at the defaults.
template <class Record>
void runFilter(benchmark::State& state, int (*create)(Record**), int (*destroy)(Record**),
               int (*init)(sp_data*, Record*), int (*compute)(sp_data*, Record*, float*, float*)) {
    runModule(
        state, create, destroy, [&](ModuleBenchTable& t, Record* p) { init(t.sp, p); },
        [&](ModuleBenchTable& t, Record* p, std::size_t, float* x, float* y) { compute(t.sp, p, x, y); });
}

void BM_butlp(benchmark::State& s) {
    runFilter(s, sp_butlp_create, sp_butlp_destroy, sp_butlp_init, sp_butlp_compute);
}
void BM_buthp(benchmark::State& s) {
    runFilter(s, sp_buthp_create, sp_buthp_destroy, sp_buthp_init, sp_buthp_compute);
}
void BM_butbp(benchmark::State& s) {
    runFilter(s, sp_butbp_create, sp_butbp_destroy, sp_butbp_init, sp_butbp_compute);
}
void BM_butbr(benchmark::State& s) {
    runFilter(s, sp_butbr_create, sp_butbr_destroy, sp_butbr_init, sp_butbr_compute);
}
void BM_tone(benchmark::State& s) {
    runFilter(s, sp_tone_create, sp_tone_destroy, sp_tone_init, sp_tone_compute);
}
void BM_atone(benchmark::State& s) {
    runFilter(s, sp_atone_create, sp_atone_destroy, sp_atone_init, sp_atone_compute);
}
void BM_dcblock(benchmark::State& s) {
    runFilter(s, sp_dcblock_create, sp_dcblock_destroy, sp_dcblock_init, sp_dcblock_compute);
}
void BM_eqfil(benchmark::State& s) {
    runFilter(s, sp_eqfil_create, sp_eqfil_destroy, sp_eqfil_init, sp_eqfil_compute);
}
void BM_fofilt(benchmark::State& s) {
    runFilter(s, sp_fofilt_create, sp_fofilt_destroy, sp_fofilt_init, sp_fofilt_compute);
}
void BM_mode(benchmark::State& s) {
    runFilter(s, sp_mode_create, sp_mode_destroy, sp_mode_init, sp_mode_compute);
}
void BM_diode(benchmark::State& s) {
    runFilter(s, sp_diode_create, sp_diode_destroy, sp_diode_init, sp_diode_compute);
}
void BM_lpf18(benchmark::State& s) {
    runFilter(s, sp_lpf18_create, sp_lpf18_destroy, sp_lpf18_init, sp_lpf18_compute);
}
void BM_moogladder(benchmark::State& s) {
    runFilter(s, sp_moogladder_create, sp_moogladder_destroy, sp_moogladder_init, sp_moogladder_compute);
}

// A cutoff that changes every sample: the coefficient recomputation on each call.
void BM_butlp_sweep(benchmark::State& s) {
    runModule(
        s, sp_butlp_create, sp_butlp_destroy,
        [](ModuleBenchTable& t, sp_butlp* p) { sp_butlp_init(t.sp, p); },
        [](ModuleBenchTable& t, sp_butlp* p, std::size_t n, float* x, float* y) {
            p->frequency = 200.0f + static_cast<float>(n);
            sp_butlp_compute(t.sp, p, x, y);
        });
}
void BM_moogladder_sweep(benchmark::State& s) {
    runModule(
        s, sp_moogladder_create, sp_moogladder_destroy,
        [](ModuleBenchTable& t, sp_moogladder* p) { sp_moogladder_init(t.sp, p); },
        [](ModuleBenchTable& t, sp_moogladder* p, std::size_t n, float* x, float* y) {
            p->frequency = 200.0f + static_cast<float>(n);
            sp_moogladder_compute(t.sp, p, x, y);
        });
}

void BM_osc(benchmark::State& s) {
    runModule(
        s, sp_osc_create, sp_osc_destroy,
        [](ModuleBenchTable& t, sp_osc* p) { sp_osc_init(t.sp, p, t.ft, 0.0f); },
        [](ModuleBenchTable& t, sp_osc* p, std::size_t, float* x, float* y) {
            sp_osc_compute(t.sp, p, x, y);
        });
}
void BM_dynamicosc(benchmark::State& s) {
    runModule(
        s, sp_dynamicosc_create, sp_dynamicosc_destroy,
        [](ModuleBenchTable& t, sp_dynamicosc* p) { sp_dynamicosc_init(t.sp, p, 0.0f); },
        [](ModuleBenchTable& t, sp_dynamicosc* p, std::size_t, float* x, float* y) {
            sp_dynamicosc_compute(t.sp, p, t.ft, x, y, 1);
        });
}
void BM_fosc(benchmark::State& s) {
    runModule(
        s, sp_fosc_create, sp_fosc_destroy,
        [](ModuleBenchTable& t, sp_fosc* p) { sp_fosc_init(t.sp, p, t.ft); },
        [](ModuleBenchTable& t, sp_fosc* p, std::size_t, float* x, float* y) {
            sp_fosc_compute(t.sp, p, x, y);
        });
}
void BM_oscmorph(benchmark::State& s) {
    static sp_ftbl* tables[4];
    runModule(
        s, sp_oscmorph_create, sp_oscmorph_destroy,
        [](ModuleBenchTable& t, sp_oscmorph* p) {
            for (auto& table : tables)
                table = t.ft;
            sp_oscmorph_init(t.sp, p, tables, 4, 0.0f);
            p->position = 0.4f;
        },
        [](ModuleBenchTable& t, sp_oscmorph* p, std::size_t, float* x, float* y) {
            sp_oscmorph_compute(t.sp, p, x, y);
        });
}
void BM_blsquare(benchmark::State& s) {
    runModule(
        s, sp_blsquare_create, sp_blsquare_destroy,
        [](ModuleBenchTable& t, sp_blsquare* p) { sp_blsquare_init(t.sp, p); },
        [](ModuleBenchTable& t, sp_blsquare* p, std::size_t, float* x, float* y) {
            sp_blsquare_compute(t.sp, p, x, y);
        });
}
void BM_noise(benchmark::State& s) {
    runModule(
        s, sp_noise_create, sp_noise_destroy,
        [](ModuleBenchTable& t, sp_noise* p) { sp_noise_init(t.sp, p); },
        [](ModuleBenchTable& t, sp_noise* p, std::size_t, float* x, float* y) {
            sp_noise_compute(t.sp, p, x, y);
        });
}
void BM_brown(benchmark::State& s) {
    runModule(
        s, sp_brown_create, sp_brown_destroy,
        [](ModuleBenchTable& t, sp_brown* p) { sp_brown_init(t.sp, p); },
        [](ModuleBenchTable& t, sp_brown* p, std::size_t, float* x, float* y) {
            sp_brown_compute(t.sp, p, x, y);
        });
}
void BM_pinknoise(benchmark::State& s) {
    runModule(
        s, sp_pinknoise_create, sp_pinknoise_destroy,
        [](ModuleBenchTable& t, sp_pinknoise* p) { sp_pinknoise_init(t.sp, p); },
        [](ModuleBenchTable& t, sp_pinknoise* p, std::size_t, float* x, float* y) {
            sp_pinknoise_compute(t.sp, p, x, y);
        });
}
void BM_phasor(benchmark::State& s) {
    runModule(
        s, sp_phasor_create, sp_phasor_destroy,
        [](ModuleBenchTable& t, sp_phasor* p) { sp_phasor_init(t.sp, p, 0.0f); },
        [](ModuleBenchTable& t, sp_phasor* p, std::size_t, float* x, float* y) {
            sp_phasor_compute(t.sp, p, x, y);
        });
}
void BM_pdhalf(benchmark::State& s) {
    runModule(
        s, sp_pdhalf_create, sp_pdhalf_destroy,
        [](ModuleBenchTable& t, sp_pdhalf* p) {
            sp_pdhalf_init(t.sp, p);
            p->amount = 0.3f;
        },
        [](ModuleBenchTable& t, sp_pdhalf* p, std::size_t, float* x, float* y) {
            sp_pdhalf_compute(t.sp, p, x, y);
        });
}
void BM_tabread(benchmark::State& s) {
    runModule(
        s, sp_tabread_create, sp_tabread_destroy,
        [](ModuleBenchTable& t, sp_tabread* p) { sp_tabread_init(t.sp, p, t.ft, 1); },
        [](ModuleBenchTable& t, sp_tabread* p, std::size_t, float* x, float* y) {
            p->index = *x;
            sp_tabread_compute(t.sp, p, x, y);
        });
}

} // namespace

BENCHMARK(BM_butlp);
BENCHMARK(BM_butlp_sweep);
BENCHMARK(BM_buthp);
BENCHMARK(BM_butbp);
BENCHMARK(BM_butbr);
BENCHMARK(BM_tone);
BENCHMARK(BM_atone);
BENCHMARK(BM_dcblock);
BENCHMARK(BM_eqfil);
BENCHMARK(BM_fofilt);
BENCHMARK(BM_mode);
BENCHMARK(BM_diode);
BENCHMARK(BM_lpf18);
BENCHMARK(BM_moogladder);
BENCHMARK(BM_moogladder_sweep);
BENCHMARK(BM_osc);
BENCHMARK(BM_dynamicosc);
BENCHMARK(BM_fosc);
BENCHMARK(BM_oscmorph);
BENCHMARK(BM_blsquare);
BENCHMARK(BM_noise);
BENCHMARK(BM_brown);
BENCHMARK(BM_pinknoise);
BENCHMARK(BM_phasor);
BENCHMARK(BM_pdhalf);
BENCHMARK(BM_tabread);
