#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_conv.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using ConvHandle = sigprotest::ModuleHandle<sp_conv, sp_conv_create, sp_conv_destroy>;

// Owns a wavetable filled with the given points. Test thread.
struct ConvTable {
    ConvTable(sp_data* sp, const std::vector<float>& points) {
        sp_ftbl_create(sp, &ft, points.size());
        for (std::size_t i = 0; i < points.size(); ++i)
            ft->table[i] = points[i];
    }
    ~ConvTable() { sp_ftbl_destroy(&ft); }
    ConvTable(const ConvTable&) = delete;
    ConvTable& operator=(const ConvTable&) = delete;
    sp_ftbl* ft = nullptr;
};

std::vector<float> convRender(sp_data* sp, sp_conv* conv, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) {
        float x = input[i];
        EXPECT_EQ(sp_conv_compute(sp, conv, &x, &out[i]), 1);
    }
    return out;
}

// Direct convolution in double, delayed by `delay` samples.
std::vector<double> convDirect(const std::vector<float>& input, const std::vector<float>& ir,
                               std::size_t delay) {
    std::vector<double> out(input.size(), 0.0);
    for (std::size_t n = delay; n < input.size(); ++n) {
        std::size_t m = n - delay;
        double sum = 0.0;
        for (std::size_t j = 0; j < ir.size() && j <= m; ++j)
            sum += static_cast<double>(ir[j]) * input[m - j];
        out[n] = sum;
    }
    return out;
}

} // namespace

TEST(SpConv, ImpulseResponseOfOneImpulseDelaysByThePartition) {
    ContextHandle sp;
    for (int L : {4, 64, 1024}) {
        ConvTable table(sp.get(), {1.0f, 0.0f, 0.0f});
        ConvHandle conv;
        ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, static_cast<float>(L)), 1);
        EXPECT_EQ(conv->partition_size, L);
        EXPECT_EQ(conv->partitions, 1);
        std::vector<float> input = testsupport::noise(5 * L + 3, 3u);
        std::vector<float> out = convRender(sp.get(), conv.get(), input);
        for (int i = 0; i < L; ++i)
            EXPECT_EQ(out[i], 0.0f) << "L " << L << " i " << i;
        for (std::size_t i = L; i < out.size(); ++i)
            ASSERT_NEAR(out[i], input[i - L], 1e-6f) << "L " << L;
    }
}

TEST(SpConv, RandomImpulseResponseEqualsDirectConvolutionDelayedByOnePartition) {
    ContextHandle sp;
    struct Case {
        std::size_t irLength;
        float partition;
    };
    // Long and short responses, partial last partitions, and a table shorter than one partition.
    for (Case c : {Case{1000, 64}, Case{10, 4}, Case{4096, 512}, Case{300, 1024}}) {
        std::vector<float> ir = testsupport::noise(c.irLength, 11u + c.irLength);
        ConvTable table(sp.get(), ir);
        ConvHandle conv;
        ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, c.partition), 1);
        auto L = static_cast<std::size_t>(c.partition);
        EXPECT_EQ(conv->partitions, static_cast<int>((c.irLength + L - 1) / L));
        std::vector<float> input = testsupport::noise(c.irLength + 6 * L, 29u);
        std::vector<float> out = convRender(sp.get(), conv.get(), input);
        std::vector<double> want = convDirect(input, ir, L);
        double worst = 0.0;
        for (std::size_t i = 0; i < out.size(); ++i)
            worst = std::max(worst, std::abs(out[i] - want[i]));
        // Sums of up to 4096 products of unit-range values; float FFT rounding stays far below 1e-3.
        EXPECT_LT(worst, 1e-3) << "IR " << c.irLength << " L " << L;
    }
}

TEST(SpConv, InvalidPartitionSizesAreRefusedAndComputeSilence) {
    ContextHandle sp;
    ConvTable table(sp.get(), {0.5f, 0.25f});
    for (float size : {6.0f, 2.0f, 0.0f, -4.0f, 3.4f, 1e30f, std::numeric_limits<float>::quiet_NaN()}) {
        ConvHandle conv;
        StderrCapture err;
        EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, size), 0) << size;
        EXPECT_EQ(err.text(), "conv: invalid partition size.\n") << size;
        std::vector<float> out = convRender(sp.get(), conv.get(), std::vector<float>(40, 1.0f));
        for (float y : out)
            ASSERT_EQ(y, 0.0f) << size;
    }

    // A refused re-init silences a module that worked before.
    ConvHandle conv;
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, 4.0f), 1);
    std::vector<float> before = convRender(sp.get(), conv.get(), std::vector<float>(16, 1.0f));
    EXPECT_NEAR(before[5], 0.75f, 1e-6f);
    {
        StderrCapture err;
        EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, 12.0f), 0);
        EXPECT_EQ(err.text(), "conv: invalid partition size.\n");
    }
    for (float y : convRender(sp.get(), conv.get(), std::vector<float>(16, 1.0f)))
        ASSERT_EQ(y, 0.0f);
}

TEST(SpConv, PartitionLengthIsRoundedToTheNearestInteger) {
    ContextHandle sp;
    ConvTable table(sp.get(), {1.0f});
    ConvHandle conv;
    StderrCapture err;
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, 3.6f), 1);
    EXPECT_EQ(err.text(), "");
    EXPECT_EQ(conv->partition_size, 4);
    EXPECT_EQ(conv->partition_length, 3.6f);
    std::vector<float> input = testsupport::noise(20, 7u);
    std::vector<float> out = convRender(sp.get(), conv.get(), input);
    for (std::size_t i = 4; i < out.size(); ++i)
        EXPECT_NEAR(out[i], input[i - 4], 1e-6f);
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, 63.7f), 1);
    EXPECT_EQ(conv->partition_size, 64);
}

TEST(SpConv, EmptyImpulseResponseIsRefusedAndComputesSilence) {
    ContextHandle sp;
    sp_ftbl empty{}; // tables of no points are never built; a kernel may still hand over an empty record
    ConvHandle conv;
    StderrCapture err;
    EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), &empty, 64.0f), 0);
    EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), nullptr, 64.0f), 0);
    EXPECT_EQ(err.text(), "uh oh.\nuh oh.\n");
    for (float y : convRender(sp.get(), conv.get(), std::vector<float>(200, 1.0f)))
        ASSERT_EQ(y, 0.0f);
}

TEST(SpConv, ReinitStartsAfreshWithTheNewResponse) {
    ContextHandle sp;
    ConvTable first(sp.get(), testsupport::noise(100, 1u));
    std::vector<float> ir = {0.0f, 0.0f, 1.0f, -0.5f};
    ConvTable second(sp.get(), ir);
    ConvHandle conv;
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), first.ft, 16.0f), 1);
    convRender(sp.get(), conv.get(),
               testsupport::noise(37, 2u)); // leaves a half-filled block and an overlap tail
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), second.ft, 8.0f), 1);
    EXPECT_EQ(conv->partitions, 1);
    std::vector<float> input = testsupport::noise(64, 4u);
    std::vector<float> out = convRender(sp.get(), conv.get(), input);
    std::vector<double> want = convDirect(input, ir, 8);
    for (std::size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], want[i], 1e-5) << i;
}

TEST(SpConv, ComputeNeverAllocates) {
    ContextHandle sp;
    ConvTable table(sp.get(), testsupport::noise(3000, 8u));
    ConvHandle conv;
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.ft, 256.0f), 1);
    std::vector<float> input = testsupport::noise(4096, 9u);
    std::vector<float> out(input.size());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t i = 0; i < input.size(); ++i)
                      sp_conv_compute(sp.get(), conv.get(), &input[i], &out[i]);
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
