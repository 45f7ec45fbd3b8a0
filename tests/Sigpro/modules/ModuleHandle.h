#pragma once
// Helpers of the module tests: owners of contexts, module records and wavetables, rendering through
// one-sample compute functions, and the heap calls the render path makes. It brings GoogleTest and
// GoogleMock, the standard headers below, the support signals and the standard-error capture with it, for
// every module test uses them. Test thread.

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ftbl.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <numbers>
#include <numeric>
#include <tuple>
#include <type_traits>
#include <vector>

namespace sigprotest {

using sigpro::sp_data;

// Owns one shared context at a sample rate.
class ContextHandle {
public:
    explicit ContextHandle(int sampleRate = 44100) {
        sigpro::sp_create(&sp_);
        sp_->sample_rate = sampleRate;
    }
    ~ContextHandle() { sigpro::sp_destroy(&sp_); }
    ContextHandle(const ContextHandle&) = delete;
    ContextHandle& operator=(const ContextHandle&) = delete;
    sp_data* get() const { return sp_; }
    sp_data* operator->() const { return sp_; }

private:
    sp_data* sp_ = nullptr;
};

// Owns one module record from create to destroy; with a one-in, one-out compute function it also
// renders.
template <class T, int (*Create)(T**), int (*Destroy)(T**),
          int (*Compute)(sp_data*, T*, float*, float*) = nullptr>
class ModuleHandle {
public:
    using Record = T;
    ModuleHandle() { Create(&p_); }
    ~ModuleHandle() { Destroy(&p_); }
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;
    T* get() const { return p_; }
    T* operator->() const { return p_; }

    float operator()(sp_data* sp, float x) const {
        float y = 0.0f;
        Compute(sp, p_, &x, &y);
        return y;
    }
    std::vector<float> operator()(sp_data* sp, const std::vector<float>& input) const {
        std::vector<float> output(input.size());
        for (std::size_t n = 0; n < input.size(); ++n)
            output[n] = (*this)(sp, input[n]);
        return output;
    }
    // `samples` outputs of a generator, whose input is ignored.
    std::vector<float> generate(sp_data* sp, std::size_t samples) const {
        return (*this)(sp, std::vector<float>(samples, 0.0f));
    }

private:
    T* p_ = nullptr;
};

// The handle of module sp_<name>, with or without its one-in, one-out compute; used inside namespace
// sigpro or under its using-directive.
#define SP_MODULE(name) sigprotest::ModuleHandle<sp_##name, sp_##name##_create, sp_##name##_destroy>
#define SP_COMPUTING_MODULE(name)                                                                            \
    sigprotest::ModuleHandle<sp_##name, sp_##name##_create, sp_##name##_destroy, sp_##name##_compute>

// A module fresh from `init(context, record, args...)`, which must succeed, on a context of its own.
template <class Handle> class Fresh : public Handle {
public:
    template <class Init, class... Args>
    requires std::is_invocable_v<Init, sp_data*, typename Handle::Record*, Args...>
    explicit Fresh(Init init, Args... args) : Fresh(44100, init, args...) {}
    template <class Init, class... Args>
    Fresh(int sampleRate, Init init, Args... args) : context_(sampleRate) {
        EXPECT_EQ(init(context_.get(), this->get(), args...), 1);
    }
    sp_data* sp() const { return context_.get(); }
    using Handle::operator();
    using Handle::generate;
    float operator()(float x) const { return Handle::operator()(sp(), x); }
    std::vector<float> operator()(const std::vector<float>& input) const {
        return Handle::operator()(sp(), input);
    }
    std::vector<float> generate(std::size_t samples) const { return Handle::generate(sp(), samples); }

private:
    ContextHandle context_;
};

// Owns a wavetable of `size` points whose point i (the guard point size included) is point(i).
class Table {
public:
    Table(sp_data* sp, std::size_t size, const std::function<double(std::size_t)>& point) {
        sigpro::sp_ftbl_create(sp, &ft_, size);
        for (std::size_t i = 0; i <= size; ++i)
            ft_->table[i] = static_cast<float>(point(i));
    }
    ~Table() { sigpro::sp_ftbl_destroy(&ft_); }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;
    sigpro::sp_ftbl* get() const { return ft_; }
    sigpro::sp_ftbl* operator->() const { return ft_; }

private:
    sigpro::sp_ftbl* ft_ = nullptr;
};

struct Stereo {
    std::vector<float> left, right;
};

// `frames` outputs of a two-in, two-out compute function; the inputs are 0 past their ends.
template <class T>
Stereo renderStereo(int (*compute)(sp_data*, T*, float*, float*, float*, float*), sp_data* sp, T* p,
                    std::size_t frames, const std::vector<float>& left, const std::vector<float>& right) {
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    for (std::size_t n = 0; n < frames; ++n) {
        float l = n < left.size() ? left[n] : 0.0f, r = n < right.size() ? right[n] : 0.0f;
        compute(sp, p, &l, &r, &out.left[n], &out.right[n]);
    }
    return out;
}

// One cycle of a sine over `size` points, the guard point repeating the first.
inline std::function<double(std::size_t)> sineCycle(std::size_t size, double harmonic = 1.0) {
    return [=](std::size_t i) {
        return std::sin(2.0 * std::numbers::pi * harmonic * double(i % size) / double(size));
    };
}

// Matches samples each within `tolerance` of the one in `want` at its place.
inline auto samplesNear(const std::vector<float>& want, float tolerance) {
    return ::testing::Pointwise(::testing::FloatNear(tolerance), want);
}

inline bool allFinite(const std::vector<float>& y) {
    return std::all_of(y.begin(), y.end(), [](float v) { return std::isfinite(v); });
}

inline std::vector<float> impulse(std::size_t samples, float height = 1.0f) {
    std::vector<float> x(samples, 0.0f);
    x[0] = height;
    return x;
}

// Allocations and frees `work` makes while marked as the render thread.
template <class Work> std::uint64_t renderThreadHeapCalls(Work&& work) {
    testsupport::AllocationTrap::resetCounts();
    {
        testsupport::ScopedRenderThread rendering;
        work();
    }
    const auto counts = testsupport::AllocationTrap::renderThreadCounts();
    return counts.allocations + counts.deallocations;
}

// Period in samples of a ringing signal: the lag of the highest autocorrelation of y[first ...] in
// [minLag, maxLag], refined by a parabola through its neighbours.
inline double autocorrelationPeriod(const std::vector<float>& y, std::size_t first, int minLag, int maxLag) {
    auto correlation = [&](int lag) {
        double sum = 0;
        for (std::size_t n = first; n + std::size_t(lag) < y.size(); ++n)
            sum += double(y[n]) * y[n + std::size_t(lag)];
        return sum;
    };
    int best = minLag;
    for (int lag = minLag + 1; lag <= maxLag; ++lag)
        if (correlation(lag) > correlation(best)) best = lag;
    const double left = correlation(best - 1), middle = correlation(best), right = correlation(best + 1);
    return best + 0.5 * (left - right) / (left - 2.0 * middle + right);
}

// Steady gain at `hz` of a module fresh from `init` whose parameters `configure` then writes.
template <class Handle>
double freshGain(int (*init)(sp_data*, typename Handle::Record*),
                 const std::function<void(typename Handle::Record*)>& configure, double hz,
                 double level = 1.0, std::size_t samples = 44100, int sampleRate = 44100) {
    ContextHandle sp(sampleRate);
    Handle module;
    init(sp.get(), module.get());
    if (configure) configure(module.get());
    return testsupport::steadyGain(
        sampleRate, hz, [&](float x) { return module(sp.get(), x); }, level, samples);
}

// The life cycle of a one-in, one-out module. Used with the parameters `use` wrote and initialised
// again, it frees as much as it allocates (its buffers reused or replaced, never leaked) and starts over
// with its defaults: it renders `input` as a fresh module does. Its compute then neither allocates nor
// frees while `vary` changes its parameters every sample. `init` takes the context and the record.
template <class Handle, class Init>
void expectModuleLifecycle(Init init, const std::vector<float>& input,
                           const std::function<void(typename Handle::Record*)>& use = {},
                           const std::function<void(typename Handle::Record*, int)>& vary = {}) {
    ContextHandle usedContext, freshContext;
    Handle used, fresh;
    ASSERT_EQ(init(usedContext.get(), used.get()), 1);
    if (use) use(used.get());
    used(usedContext.get(), testsupport::noise(3000, 99u));
    testsupport::AllocationTrap::resetCounts();
    {
        testsupport::ScopedRenderThread counting;
        init(usedContext.get(), used.get());
    }
    const auto counts = testsupport::AllocationTrap::renderThreadCounts();
    EXPECT_EQ(counts.allocations, counts.deallocations) << "re-init";
    ASSERT_EQ(init(freshContext.get(), fresh.get()), 1);
    EXPECT_EQ(used(usedContext.get(), input), fresh(freshContext.get(), input));
    EXPECT_EQ(renderThreadHeapCalls([&] {
                  for (int n = 0; n < 4096; ++n) {
                      if (vary) vary(used.get(), n);
                      used(usedContext.get(), input[std::size_t(n) % input.size()]);
                  }
              }),
              0u)
        << "compute";
}

} // namespace sigprotest
