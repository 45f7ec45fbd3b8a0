#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_mincer.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using MincerHandle = sigprotest::ModuleHandle<sp_mincer, sp_mincer_create, sp_mincer_destroy>;

// Owns a table of `points` samples of f(i). Test thread.
struct MincerTable {
    MincerTable(sp_data* sp, std::size_t points, const std::function<float(std::size_t)>& f) {
        sp_ftbl_create(sp, &ft, points);
        for (std::size_t i = 0; i < points; ++i)
            ft->table[i] = f(i);
    }
    ~MincerTable() { sp_ftbl_destroy(&ft); }
    MincerTable(const MincerTable&) = delete;
    MincerTable& operator=(const MincerTable&) = delete;
    sp_ftbl* ft = nullptr;
};

// A table of `seconds` of a sine at `hz` (a whole number of periods, so that it loops seamlessly).
MincerTable mincerSineTable(sp_data* sp, double hz, double seconds) {
    return MincerTable(sp, static_cast<std::size_t>(44100 * seconds), [hz](std::size_t i) {
        return static_cast<float>(std::sin(2.0 * std::numbers::pi * hz * double(i) / 44100.0));
    });
}

// Renders into y with `time` advanced by `speed` seconds per second (0 holds it); allocates nothing.
void mincerRenderInto(sp_data* sp, sp_mincer* m, std::vector<float>& y, double speed) {
    const double start = m->time;
    for (std::size_t i = 0; i < y.size(); ++i) {
        m->time = static_cast<float>(start + speed * double(i) / 44100.0);
        EXPECT_EQ(sp_mincer_compute(sp, m, nullptr, &y[i]), 1);
    }
}

std::vector<float> mincerRender(sp_data* sp, sp_mincer* m, std::size_t samples, double speed) {
    std::vector<float> y(samples);
    mincerRenderInto(sp, m, y, speed);
    return y;
}

// Frequency of a steady tone by its rising zero crossings over y[first ...].
double mincerZeroCrossingHz(const std::vector<float>& y, std::size_t first) {
    std::size_t firstCrossing = 0, lastCrossing = 0;
    int crossings = 0;
    for (std::size_t n = first + 1; n < y.size(); ++n) {
        if (y[n - 1] < 0.0f && y[n] >= 0.0f) {
            if (crossings == 0) firstCrossing = n;
            lastCrossing = n;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : 44100.0 * (crossings - 1) / double(lastCrossing - firstCrossing);
}

} // namespace

TEST(SpMincer, InitFillsTheRecordAndItsBuffers) {
    ContextHandle sp;
    MincerTable table(sp.get(), 1000, [](std::size_t) { return 0.0f; });
    MincerHandle m;
    ASSERT_EQ(sp_mincer_init(sp.get(), m.get(), table.ft, 2048), 1);
    EXPECT_EQ(m->time, 0.0f);
    EXPECT_EQ(m->amp, 1.0f);
    EXPECT_EQ(m->pitch, 1.0f);
    EXPECT_EQ(m->lock, 1.0f);
    EXPECT_EQ(m->size_f, 2048.0f);
    EXPECT_EQ(m->overlap_f, 4.0f);
    EXPECT_EQ(m->hop, 512);
    EXPECT_EQ(m->hop_count, 512);
    EXPECT_EQ(m->frame, 0);
    EXPECT_EQ(m->size, 2048);
    EXPECT_EQ(m->overlap, 4);
    EXPECT_EQ(m->ft, table.ft);
    EXPECT_EQ(m->frames.size, 16u * 2048u);
    EXPECT_EQ(m->window.size, 4u * 2048u);
    EXPECT_EQ(m->forward.size, 4u * 2050u);
    EXPECT_EQ(m->backward.size, 4u * 2050u);
    EXPECT_EQ(m->previous.size, 4u * 2050u);
    EXPECT_EQ(m->read_index.size, 16u);
    const auto* index = static_cast<const std::int32_t*>(m->read_index.data);
    EXPECT_EQ(index[0], 0);
    EXPECT_EQ(index[1], 2048);
    EXPECT_EQ(index[2], 4096);
    EXPECT_EQ(index[3], 6144);
    const auto* w = static_cast<const float*>(m->window.data);
    EXPECT_EQ(w[0], 0.0f);
    EXPECT_FLOAT_EQ(w[1024], 1.0f);
    EXPECT_NEAR(w[512], 0.5f, 1e-6f);
    EXPECT_NEAR(w[100], w[2048 - 100], 1e-6f);

    // A second init with the same size keeps the buffers.
    const void* frames = m->frames.data;
    m->pitch = 3.0f;
    ASSERT_EQ(sp_mincer_init(sp.get(), m.get(), table.ft, 2048), 1);
    EXPECT_EQ(m->frames.data, frames);
    EXPECT_EQ(m->pitch, 1.0f);
}

TEST(SpMincer, OutputIsScaledByTwoThirdsOfTheAmplitude) {
    // A constant table: every frame is a Hann window of ones, and four overlapping squared windows sum to
    // 1.5; the scale 2/3 x amp brings it back to amp.
    ContextHandle sp;
    MincerTable table(sp.get(), 8192, [](std::size_t) { return 1.0f; });
    for (float amp : {1.0f, 0.5f}) {
        MincerHandle m;
        sp_mincer_init(sp.get(), m.get(), table.ft, 1024);
        m->amp = amp;
        m->time = 0.05f;
        const auto y = mincerRender(sp.get(), m.get(), 4096, 1.0);
        EXPECT_EQ(y[0], 0.0f); // the ring starts empty and the window starts at 0
        EXPECT_LT(y[100], 0.5f * amp);
        for (std::size_t i = 1024; i < y.size(); ++i)
            ASSERT_NEAR(y[i], amp, 2e-4f) << i;
    }
}

TEST(SpMincer, PitchOneInRealTimeKeepsTheFrequencyAndPitchTwoDoublesIt) {
    ContextHandle sp;
    MincerTable table = mincerSineTable(sp.get(), 440.0, 2.0);
    for (float lock : {1.0f, 0.0f}) {
        for (float pitch : {1.0f, 2.0f, 0.5f}) {
            MincerHandle m;
            sp_mincer_init(sp.get(), m.get(), table.ft, 2048);
            m->pitch = pitch;
            m->lock = lock;
            testsupport::AllocationTrap::resetCounts();
            std::vector<float> y(44100);
            {
                testsupport::ScopedRenderThread rendering;
                mincerRenderInto(sp.get(), m.get(), y, 1.0);
            }
            EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().allocations, 0u);
            const double hz = 440.0 * pitch;
            EXPECT_NEAR(mincerZeroCrossingHz(y, 4096), hz, 0.002 * hz)
                << "pitch " << pitch << " lock " << lock;
            // A clean tone at about the source's level, nothing left at the source frequency.
            EXPECT_NEAR(testsupport::toneAmplitude(y, 44100.0, hz, 4096), 1.0, 0.1)
                << "pitch " << pitch << " lock " << lock;
            if (pitch != 1.0f) {
                EXPECT_LT(testsupport::toneAmplitude(y, 44100.0, 440.0, 4096), 0.02);
            }
        }
    }
}

TEST(SpMincer, AHeldTimeFreezesTheSound) {
    ContextHandle sp;
    MincerTable table = mincerSineTable(sp.get(), 330.0, 1.0);
    MincerHandle m;
    sp_mincer_init(sp.get(), m.get(), table.ft, 2048);
    m->time = 0.3f;
    const auto y = mincerRender(sp.get(), m.get(), 44100, 0.0);
    // The same grains at every hop; only the phase moves on: a steady tone at the source frequency.
    EXPECT_NEAR(mincerZeroCrossingHz(y, 4096), 330.0, 1.0);
    const std::vector<float> early(y.begin() + 4096, y.begin() + 8192);
    const std::vector<float> late(y.end() - 4096, y.end());
    const double a = testsupport::toneAmplitude(early, 44100.0, 330.0);
    const double b = testsupport::toneAmplitude(late, 44100.0, 330.0);
    EXPECT_NEAR(a, 1.0, 0.1);
    EXPECT_NEAR(b, a, 0.02 * a);
}

TEST(SpMincer, ATimeBeyondTheTableWrapsToItsStart) {
    ContextHandle sp;
    // A chirp, so that every position sounds different; 2^16 points, a multiple of the hop.
    MincerTable table(sp.get(), 65536, [](std::size_t i) {
        const double t = double(i) / 44100.0;
        return static_cast<float>(std::sin(2.0 * std::numbers::pi * (200.0 * t + 400.0 * t * t)));
    });
    auto frozenAt = [&](double seconds) {
        MincerHandle m;
        sp_mincer_init(sp.get(), m.get(), table.ft, 1024);
        m->time = static_cast<float>(seconds);
        return mincerRender(sp.get(), m.get(), 4096, 0.0);
    };
    // 0.2 s is 8820 samples, 34.45 hops of 256: well inside a hop, so the truncation is unambiguous.
    const auto inside = frozenAt(0.2);
    const auto beyond = frozenAt(0.2 + 65536.0 / 44100.0);
    const auto twiceBeyond = frozenAt(0.2 + 2.0 * 65536.0 / 44100.0);
    const auto elsewhere = frozenAt(0.5);
    double worst = 0, difference = 0;
    for (std::size_t i = 0; i < inside.size(); ++i) {
        worst = std::max(
            {worst, double(std::fabs(inside[i] - beyond[i])), double(std::fabs(inside[i] - twiceBeyond[i]))});
        difference = std::max(difference, double(std::fabs(inside[i] - elsewhere[i])));
    }
    EXPECT_LT(worst, 1e-6);
    EXPECT_GT(difference, 0.1);

    // Times that are not finite read from the start instead of anywhere.
    for (float bad :
         {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(), -1e30f}) {
        MincerHandle m;
        sp_mincer_init(sp.get(), m.get(), table.ft, 1024);
        m->time = bad;
        for (int i = 0; i < 3000; ++i) {
            float y;
            sp_mincer_compute(sp.get(), m.get(), nullptr, &y);
            ASSERT_TRUE(std::isfinite(y)) << bad;
        }
    }
}

TEST(SpMincer, RefusesSizesThatAreNotPowersOfTwoAndEmptyTables) {
    ContextHandle sp;
    MincerTable table(sp.get(), 100, [](std::size_t i) { return float(i % 7) - 3.0f; });
    for (int size : {0, 4, 1000, -2048, 3 << 20}) {
        MincerHandle m;
        StderrCapture err;
        EXPECT_EQ(sp_mincer_init(sp.get(), m.get(), table.ft, size), 0) << size;
        EXPECT_EQ(err.text().rfind("sp_mincer: ", 0), 0u) << err.text();
        for (int i = 0; i < 600; ++i) {
            float y = 1.0f;
            sp_mincer_compute(sp.get(), m.get(), nullptr, &y);
            ASSERT_EQ(y, 0.0f);
        }
    }
    MincerHandle m;
    StderrCapture err;
    EXPECT_EQ(sp_mincer_init(sp.get(), m.get(), nullptr, 1024), 0);
    EXPECT_EQ(err.text(), "sp_mincer: the table is empty\n");
    // The smallest size works, with a table shorter than a frame.
    MincerTable tiny(sp.get(), 3, [](std::size_t i) { return float(i); });
    ASSERT_EQ(sp_mincer_init(sp.get(), m.get(), tiny.ft, 8), 1);
    for (int i = 0; i < 100; ++i) {
        float y;
        sp_mincer_compute(sp.get(), m.get(), nullptr, &y);
        ASSERT_TRUE(std::isfinite(y));
    }
}
