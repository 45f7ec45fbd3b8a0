#include "Sigpro/modules/sp_pdhalf.h"
#include "Sigpro/modules/sp_phasor.h"
#include "Sigpro/modules/sp_tabread.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using sigprotest::Table;

namespace {

using Phasor = SP_COMPUTING_MODULE(phasor);
using Pdhalf = SP_COMPUTING_MODULE(pdhalf);
using Tabread = SP_COMPUTING_MODULE(tabread);

} // namespace

TEST(SpPhasor, RampsFromTheInitialPhaseAndWrapsOncePerCycle) {
    sigprotest::Fresh<Phasor> ph(sp_phasor_init, 0.0f);
    EXPECT_EQ(ph->frequency, 440.0f);
    const std::vector<float> y = ph.generate(44100);
    EXPECT_EQ(y[0], 0.0f);
    EXPECT_FLOAT_EQ(y[1], 440.0f / 44100.0f);
    int wraps = 0;
    for (std::size_t n = 0; n < y.size(); ++n) {
        ASSERT_TRUE(y[n] >= 0.0f && y[n] < 1.0f) << n;
        wraps += n > 0 && y[n] < y[n - 1];
    }
    EXPECT_NEAR(wraps, 440, 1);

    // Negative frequencies run downward, starting from the initial phase.
    sp_phasor_init(ph.sp(), ph.get(), 0.5f);
    ph->frequency = -4410.0f;
    const std::vector<float> down = ph.generate(7);
    EXPECT_EQ(down[0], 0.5f);
    EXPECT_NEAR(down[1], 0.4f, 1e-6);
    EXPECT_NEAR(down[5], 0.0f, 1e-5);
    EXPECT_NEAR(down[6], 0.9f, 1e-5);
}

TEST(SpPdhalf, MapsTheKneeToTheMiddleOfTheRange) {
    Pdhalf pd;
    sp_pdhalf_init(nullptr, pd.get());
    // Amount 0 is the identity in both modes.
    for (float x = -1.0f; x <= 1.0f; x += 0.0625f) {
        pd->bipolar = 1.0f;
        EXPECT_FLOAT_EQ(pd(nullptr, x), x);
        pd->bipolar = 0.0f;
        if (x >= 0.0f) {
            EXPECT_FLOAT_EQ(pd(nullptr, x), x);
        }
    }
    using Case = std::tuple<float, float, float, float, float>;
    for (const auto& [bipolar, amount, fullScale, x, y] :
         {// Unipolar, amount 0.5: the knee at 0.75.
          Case{0, 0.5f, 1, 0.75f, 0.5f}, Case{0, 0.5f, 1, 0.375f, 0.25f}, Case{0, 0.5f, 1, 0.875f, 0.75f},
          Case{0, 0.5f, 1, 0.0f, 0.0f}, Case{0, 0.5f, 1, 1.0f, 1.0f},
          // Amount 1 and beyond: the knee at full scale, everything below halved.
          Case{0, 1.0f, 1, 0.6f, 0.3f}, Case{0, 3.0f, 1, 0.6f, 0.3f},
          // Amount -1: the knee at 0, everything mapped into the upper half.
          Case{0, -1.0f, 1, 0.0f, 0.5f}, Case{0, -1.0f, 1, 0.5f, 0.75f},
          // A full scale of 0 counts as 1; another full scale stretches the range.
          Case{0, 0.5f, 0, 0.75f, 0.5f}, Case{0, 0.5f, 4, 3.0f, 2.0f},
          // Bipolar, amount 0.5: the knee at 0.5, mapped to 0.
          Case{1, 0.5f, 1, 0.5f, 0.0f}, Case{1, 0.5f, 1, -1.0f, -1.0f}, Case{1, 0.5f, 1, 1.0f, 1.0f},
          Case{1, 0.5f, 1, 0.75f, 0.5f}, Case{1, 0.5f, 1, -0.25f, -0.5f}, Case{1, -1.0f, 1, -1.0f, 0.0f},
          Case{1, -1.0f, 1, 0.0f, 0.5f}}) {
        std::tie(pd->bipolar, pd->amount, pd->full_scale) = std::tuple(bipolar, amount, fullScale);
        EXPECT_FLOAT_EQ(pd(nullptr, x), y) << bipolar << " " << amount << " " << fullScale << " " << x;
    }
}

TEST(SpTabread, ReadsInterpolatedPointsClampedOrWrapped) {
    ContextHandle sp;
    Table ramp(sp.get(), 4096, [](std::size_t i) { return i == 4096 ? 5000.0 : double(i); });
    Tabread tr;
    auto at = [&](float index) {
        tr->index = index;
        return tr(sp.get(), 0.0f);
    };
    ASSERT_EQ(sp_tabread_init(sp.get(), tr.get(), ramp.get(), 1), 1);
    EXPECT_EQ(tr->mode, 1.0f);
    EXPECT_EQ(at(0.5f), 2048.0f);
    EXPECT_EQ(at(0.25f + 1.0f / 8192.0f), 1024.5f);
    // The offset is added before scaling.
    tr->offset = 0.25f;
    EXPECT_EQ(at(0.25f), 2048.0f);

    // Mode 0; the guard point (here 5000) serves the last segment.
    sp_tabread_init(sp.get(), tr.get(), ramp.get(), 0);
    const float lastSegment = 4095.0f + 0.25f * (5000.0f - 4095.0f);
    const float halfLast = 4095.0f + 0.5f * (5000.0f - 4095.0f);
    for (auto [index, want] : {std::pair{10.75f, 10.75f},
                               {4096.25f, lastSegment},
                               {1.0e9f, 4095.0f},
                               {-3.75f, 0.25f},
                               {-1.0e30f, 0.0f},
                               {NAN, 0.0f}})
        EXPECT_EQ(at(index), want) << index;
    // Wrap counts by its integer part.
    tr->wrap = 1.0f;
    for (auto [index, want] : {std::pair{4097.5f, 1.5f}, {-0.5f, halfLast}, {3.0e20f, 0.0f}})
        EXPECT_EQ(at(index), want) << index;
    tr->wrap = 0.9f;
    EXPECT_EQ(at(4097.5f), halfLast);

    // A size that is not a power of two never wraps outside its points.
    Table odd(sp.get(), 100, [](std::size_t i) { return double(i); });
    sp_tabread_init(sp.get(), tr.get(), odd.get(), 0);
    tr->wrap = 1.0f;
    for (float index = -300.0f; index < 300.0f; index += 0.75f) {
        const float y = at(index);
        ASSERT_TRUE(y >= 0.0f && y <= 100.0f) << index;
    }

    testsupport::StderrCapture captured;
    EXPECT_EQ(sp_tabread_init(sp.get(), tr.get(), nullptr, 1), 0);
    EXPECT_EQ(captured.text().rfind("sp_tabread: ", 0), 0u);
    EXPECT_EQ(at(0.5f), 0.0f);
}

TEST(SpPhaseDistortion, PhasorThroughPdhalfIntoTabreadMakesAShapedToneWithoutAllocating) {
    ContextHandle sp;
    Table sine(sp.get(), 4096, sigprotest::sineCycle(4096));
    sigprotest::Fresh<Phasor> ph(sp_phasor_init, 0.0f);
    sigprotest::Fresh<Pdhalf> pd(sp_pdhalf_init);
    sigprotest::Fresh<Tabread> tr(sp_tabread_init, sine.get(), 1);
    auto render = [&](float amount) {
        sp_phasor_init(ph.sp(), ph.get(), 0.0f);
        pd->amount = amount;
        std::vector<float> out(44100);
        EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                      for (float& y : out) {
                          tr->index = pd(ph(0.0f));
                          y = tr(0.0f);
                      }
                  }),
                  0u);
        return out;
    };
    const auto plain = render(0.0f);
    EXPECT_NEAR(testsupport::toneAmplitude(plain, 44100, 440), 1.0, 1e-3);
    EXPECT_LT(testsupport::toneAmplitude(plain, 44100, 880), 1e-3);
    const auto bent = render(0.8f);
    EXPECT_GT(testsupport::toneAmplitude(bent, 44100, 880), 0.1);
    EXPECT_EQ(testsupport::risingZeroCrossings(bent), testsupport::risingZeroCrossings(plain));
}
