#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "Sigpro/modules/sp_conv.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using sigprotest::Table;

namespace {

using Conv = sigprotest::ModuleHandle<sp_conv, sp_conv_create, sp_conv_destroy, sp_conv_compute>;

// Direct convolution in double, delayed by `delay` samples.
std::vector<double> convDirect(const std::vector<float>& input, const std::vector<float>& ir,
                               std::size_t delay) {
    std::vector<double> out(input.size(), 0.0);
    for (std::size_t n = delay; n < input.size(); ++n)
        for (std::size_t j = 0; j < ir.size() && j <= n - delay; ++j)
            out[n] += double(ir[j]) * input[n - delay - j];
    return out;
}

Table convTable(sp_data* sp, const std::vector<float>& ir) {
    return Table(sp, ir.size(), [&](std::size_t i) { return i < ir.size() ? ir[i] : 0.0f; });
}

} // namespace

TEST(SpConv, OutputIsTheDirectConvolutionDelayedByOnePartition) {
    ContextHandle sp;
    struct Case {
        std::vector<float> ir;
        float partitionLength;
        int partitionSize, partitions;
        double tolerance;
    };
    // An impulse; long and short responses, partial last partitions, a table shorter than one partition;
    // lengths rounded to the nearest integer.
    for (const Case& c :
         {Case{{1.0f, 0.0f, 0.0f}, 4, 4, 1, 1e-6}, Case{{1.0f, 0.0f, 0.0f}, 1024, 1024, 1, 1e-6},
          Case{testsupport::noise(1000, 1u), 64, 64, 16, 1e-3},
          Case{testsupport::noise(10, 2u), 4, 4, 3, 1e-3},
          Case{testsupport::noise(4096, 3u), 512, 512, 8, 1e-3},
          Case{testsupport::noise(300, 4u), 1024, 1024, 1, 1e-3}, Case{{1.0f}, 3.6f, 4, 1, 1e-6},
          Case{{1.0f}, 63.7f, 64, 1, 1e-6}}) {
        const Table table = convTable(sp.get(), c.ir);
        Conv conv;
        testsupport::StderrCapture err;
        ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.get(), c.partitionLength), 1);
        EXPECT_EQ(err.text(), "");
        EXPECT_EQ(std::pair(conv->partition_size, conv->partitions),
                  std::pair(c.partitionSize, c.partitions));
        const auto L = std::size_t(c.partitionSize);
        const std::vector<float> input = testsupport::noise(c.ir.size() + 6 * L, 29u);
        const std::vector<float> out = conv(sp.get(), input);
        const std::vector<double> want = convDirect(input, c.ir, L);
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_NEAR(out[i], want[i], c.tolerance) << "IR " << c.ir.size() << " L " << L << " at " << i;
    }
}

TEST(SpConv, InvalidPartitionSizesAndEmptyResponsesAreRefusedAndComputeSilence) {
    ContextHandle sp;
    const Table table = convTable(sp.get(), {0.5f, 0.25f});
    const std::vector<float> ones(40, 1.0f), silence(40, 0.0f);
    for (float size : {6.0f, 2.0f, 0.0f, -4.0f, 3.4f, 1e30f, std::numeric_limits<float>::quiet_NaN()}) {
        Conv conv;
        testsupport::StderrCapture err;
        EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), table.get(), size), 0) << size;
        EXPECT_EQ(err.text(), "conv: invalid partition size.\n") << size;
        EXPECT_EQ(conv(sp.get(), ones), silence) << size;
    }

    // A refused re-init silences a module that worked before.
    Conv conv;
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.get(), 4.0f), 1);
    EXPECT_NEAR(conv(sp.get(), ones)[5], 0.75f, 1e-6f);
    testsupport::StderrCapture err;
    EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), table.get(), 12.0f), 0);
    EXPECT_EQ(conv(sp.get(), ones), silence);

    // Tables of no points are never built; a kernel may still hand over an empty record, or none.
    sp_ftbl empty{};
    EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), &empty, 64.0f), 0);
    EXPECT_EQ(sp_conv_init(sp.get(), conv.get(), nullptr, 64.0f), 0);
    EXPECT_EQ(err.text(), "conv: invalid partition size.\nuh oh.\nuh oh.\n");
    EXPECT_EQ(conv(sp.get(), ones), silence);
}

TEST(SpConv, ReinitStartsAfreshWithTheNewResponseAndComputeNeverAllocates) {
    ContextHandle sp;
    const Table first = convTable(sp.get(), testsupport::noise(100, 1u));
    const std::vector<float> ir = {0.0f, 0.0f, 1.0f, -0.5f};
    const Table second = convTable(sp.get(), ir);
    Conv conv;
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), first.get(), 16.0f), 1);
    conv(sp.get(), testsupport::noise(37, 2u)); // leaves a half-filled block and an overlap tail
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), second.get(), 8.0f), 1);
    const std::vector<float> input = testsupport::noise(64, 4u);
    const std::vector<float> out = conv(sp.get(), input);
    const std::vector<double> want = convDirect(input, ir, 8);
    for (std::size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], want[i], 1e-5) << i;

    const Table longer = convTable(sp.get(), testsupport::noise(3000, 8u));
    auto init = [&](sp_data* context, sp_conv* p) { return sp_conv_init(context, p, longer.get(), 256.0f); };
    sigprotest::expectModuleLifecycle<Conv>(init, testsupport::noise(4096, 9u));
    ASSERT_EQ(init(sp.get(), conv.get()), 1);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (float x : input)
                      conv(sp.get(), x);
              }),
              0u);
}
