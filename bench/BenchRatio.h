#pragma once
// Times a piece of work and its reference in alternating batches within one benchmark run and reports the
// least batch time of each (per call, in nanoseconds) and their ratio. Both are measured under the same
// load, and the least time is the one least disturbed by other work on the machine.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <limits>

namespace benchratio {

template <typename Work, typename Reference>
void measureAgainst(benchmark::State& state, int batch, Work&& work, Reference&& reference) {
    using Clock = std::chrono::steady_clock;
    double bestWork = std::numeric_limits<double>::infinity();
    double bestReference = bestWork;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < batch; ++i)
            work();
        const auto middle = Clock::now();
        for (int i = 0; i < batch; ++i)
            reference();
        const auto end = Clock::now();
        bestWork =
            std::min(bestWork, std::chrono::duration<double, std::nano>(middle - start).count() / batch);
        bestReference =
            std::min(bestReference, std::chrono::duration<double, std::nano>(end - middle).count() / batch);
    }
    state.counters["work_ns"] = bestWork;
    state.counters["reference_ns"] = bestReference;
    state.counters["ratio"] = bestWork / bestReference;
}

} // namespace benchratio
