#include "Sigpro/modules/sp_conv.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using namespace testsupport;
using sigprotest::ContextHandle;
using sigprotest::Table;

namespace {

using Conv = SP_COMPUTING_MODULE(conv);

// Expects the output for `input` to be its direct convolution with `ir`, delayed by `delay` samples.
void expectConvolution(const std::vector<float>& out, const std::vector<float>& input,
                       const std::vector<float>& ir, std::size_t delay, double tolerance) {
    for (std::size_t n = 0; n < input.size(); ++n) {
        double want = 0.0;
        for (std::size_t j = 0; j < ir.size() && j + delay <= n; ++j)
            want += double(ir[j]) * input[n - delay - j];
        ASSERT_NEAR(out[n], want, tolerance) << "IR " << ir.size() << " delay " << delay << " at " << n;
    }
}

Table convTable(sp_data* sp, const std::vector<float>& ir) {
    return Table(sp, ir.size(), [&](std::size_t i) { return i < ir.size() ? ir[i] : 0.0f; });
}

} // namespace

TEST(SpConv, OutputIsTheDirectConvolutionDelayedByOnePartition) {
    ContextHandle sp;
    using Case = std::tuple<std::vector<float>, float, int, int, double>;
    // An impulse; long and short responses, partial last partitions, a table shorter than one partition;
    // lengths rounded to the nearest integer.
    for (const auto& [ir, partitionLength, partitionSize, partitions, tolerance] :
         {Case{{1.0f, 0.0f, 0.0f}, 4, 4, 1, 1e-6}, Case{{1.0f, 0.0f, 0.0f}, 1024, 1024, 1, 1e-6},
          Case{noise(1000, 1u), 64, 64, 16, 1e-3}, Case{noise(10, 2u), 4, 4, 3, 1e-3},
          Case{noise(4096, 3u), 512, 512, 8, 1e-3}, Case{noise(300, 4u), 1024, 1024, 1, 1e-3},
          Case{{1.0f}, 3.6f, 4, 1, 1e-6}, Case{{1.0f}, 63.7f, 64, 1, 1e-6}}) {
        const Table table = convTable(sp.get(), ir);
        StderrCapture err;
        sigprotest::Fresh<Conv> conv(sp_conv_init, table.get(), partitionLength);
        EXPECT_EQ(err.text(), "");
        EXPECT_EQ(std::pair(conv->partition_size, conv->partitions), std::pair(partitionSize, partitions));
        const std::vector<float> input = noise(ir.size() + 6 * std::size_t(partitionSize), 29u);
        expectConvolution(conv(input), input, ir, std::size_t(partitionSize), tolerance);
    }
}

TEST(SpConv, InvalidPartitionSizesAndEmptyResponsesAreRefusedAndComputeSilence) {
    ContextHandle sp;
    const Table table = convTable(sp.get(), {0.5f, 0.25f});
    const std::vector<float> ones(40, 1.0f), silence(40, 0.0f);
    Conv conv;
    for (float size : {6.0f, 2.0f, 0.0f, -4.0f, 3.4f, 1e30f, std::numeric_limits<float>::quiet_NaN()}) {
        Conv refused;
        StderrCapture err;
        EXPECT_EQ(sp_conv_init(sp.get(), refused.get(), table.get(), size), 0) << size;
        EXPECT_EQ(err.text(), "conv: invalid partition size.\n") << size;
        EXPECT_EQ(refused(sp.get(), ones), silence) << size;
    }
    // A refused re-init silences a module that worked before.
    ASSERT_EQ(sp_conv_init(sp.get(), conv.get(), table.get(), 4.0f), 1);
    EXPECT_NEAR(conv(sp.get(), ones)[5], 0.75f, 1e-6f);
    StderrCapture err;
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
    const Table first = convTable(sp.get(), noise(100, 1u));
    const std::vector<float> ir = {0.0f, 0.0f, 1.0f, -0.5f};
    const Table second = convTable(sp.get(), ir);
    sigprotest::Fresh<Conv> conv(sp_conv_init, first.get(), 16.0f);
    conv(noise(37, 2u)); // leaves a half-filled block and an overlap tail
    ASSERT_EQ(sp_conv_init(conv.sp(), conv.get(), second.get(), 8.0f), 1);
    const std::vector<float> input = noise(64, 4u);
    expectConvolution(conv(input), input, ir, 8, 1e-5);

    const Table longer = convTable(sp.get(), noise(3000, 8u));
    sigprotest::expectModuleLifecycle<Conv>(
        [&](sp_data* context, sp_conv* p) { return sp_conv_init(context, p, longer.get(), 256.0f); },
        noise(4096, 9u));
}
