#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "Sigpro/modules/sp_ftbl.h"
#include "Sigpro/modules/sp_pdhalf.h"
#include "Sigpro/modules/sp_phasor.h"
#include "Sigpro/modules/sp_tabread.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;
using testsupport::StderrCapture;

namespace {

using PhasorHandle = sigprotest::ModuleHandle<sp_phasor, sp_phasor_create, sp_phasor_destroy>;
using PdhalfHandle = sigprotest::ModuleHandle<sp_pdhalf, sp_pdhalf_create, sp_pdhalf_destroy>;
using TabreadHandle = sigprotest::ModuleHandle<sp_tabread, sp_tabread_create, sp_tabread_destroy>;

// A table whose point i holds i (guard point included), or a sine cycle. Test thread.
class RampTable {
public:
    RampTable(sp_data* sp, std::size_t size, bool sine = false) {
        sp_ftbl_create(sp, &ft_, size);
        for (std::size_t i = 0; i <= size; ++i)
            ft_->table[i] =
                sine ? static_cast<float>(std::sin(2.0 * std::numbers::pi * double(i) / double(size)))
                     : static_cast<float>(i);
    }
    ~RampTable() { sp_ftbl_destroy(&ft_); }
    RampTable(const RampTable&) = delete;
    RampTable& operator=(const RampTable&) = delete;
    sp_ftbl* get() const { return ft_; }

private:
    sp_ftbl* ft_ = nullptr;
};

float pdhalfAt(sp_pdhalf* p, float x) {
    float y;
    sp_pdhalf_compute(nullptr, p, &x, &y);
    return y;
}

float tabreadAt(sp_tabread* p, float index) {
    p->index = index;
    float y;
    sp_tabread_compute(nullptr, p, nullptr, &y);
    return y;
}

} // namespace

TEST(SpPhasor, RampsFromTheInitialPhaseAndWrapsOncePerCycle) {
    ContextHandle sp;
    PhasorHandle ph;
    sp_phasor_init(sp.get(), ph.get(), 0.0f);
    EXPECT_EQ(ph->frequency, 440.0f);
    float y;
    sp_phasor_compute(sp.get(), ph.get(), nullptr, &y);
    EXPECT_EQ(y, 0.0f);
    sp_phasor_compute(sp.get(), ph.get(), nullptr, &y);
    EXPECT_FLOAT_EQ(y, 440.0f / 44100.0f);

    sp_phasor_init(sp.get(), ph.get(), 0.0f);
    int wraps = 0;
    float previous = -1.0f;
    for (int n = 0; n < 44100; ++n) {
        sp_phasor_compute(sp.get(), ph.get(), nullptr, &y);
        ASSERT_GE(y, 0.0f);
        ASSERT_LT(y, 1.0f);
        if (y < previous) ++wraps;
        previous = y;
    }
    EXPECT_NEAR(wraps, 440, 1);

    // Negative frequencies run downward, starting from the initial phase.
    sp_phasor_init(sp.get(), ph.get(), 0.5f);
    ph->frequency = -4410.0f;
    std::vector<float> down;
    for (int n = 0; n < 12; ++n) {
        sp_phasor_compute(sp.get(), ph.get(), nullptr, &y);
        down.push_back(y);
    }
    EXPECT_EQ(down[0], 0.5f);
    EXPECT_NEAR(down[1], 0.4f, 1e-6);
    EXPECT_NEAR(down[5], 0.0f, 1e-5);
    EXPECT_NEAR(down[6], 0.9f, 1e-5);
}

TEST(SpPdhalf, MapsTheKneeToTheMiddleOfTheRange) {
    PdhalfHandle pd;
    sp_pdhalf_init(nullptr, pd.get());
    // Amount 0 is the identity in both modes.
    for (float bipolar : {0.0f, 1.0f}) {
        pd->bipolar = bipolar;
        for (float x = bipolar != 0.0f ? -1.0f : 0.0f; x <= 1.0f; x += 0.0625f)
            EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), x), x) << bipolar << " " << x;
    }

    pd->bipolar = 0.0f;
    pd->amount = 0.5f; // knee at 0.75
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.75f), 0.5f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.375f), 0.25f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.875f), 0.75f);
    EXPECT_EQ(pdhalfAt(pd.get(), 0.0f), 0.0f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 1.0f), 1.0f);
    // Amount 1 and beyond: the knee sits at full scale, everything below is halved.
    for (float amount : {1.0f, 3.0f}) {
        pd->amount = amount;
        EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.6f), 0.3f);
    }
    // Amount -1: the knee at 0, everything maps into the upper half.
    pd->amount = -1.0f;
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.0f), 0.5f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.5f), 0.75f);
    // A full scale of 0 counts as 1; another full scale stretches the range.
    pd->amount = 0.5f;
    pd->full_scale = 0.0f;
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.75f), 0.5f);
    pd->full_scale = 4.0f;
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 3.0f), 2.0f);

    pd->full_scale = 1.0f;
    pd->bipolar = 1.0f;
    pd->amount = 0.5f; // knee at 0.5, mapped to 0
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.5f), 0.0f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), -1.0f), -1.0f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 1.0f), 1.0f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.75f), 0.5f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), -0.25f), -0.5f);
    pd->amount = -1.0f;
    EXPECT_EQ(pdhalfAt(pd.get(), -1.0f), 0.0f);
    EXPECT_FLOAT_EQ(pdhalfAt(pd.get(), 0.0f), 0.5f);
}

TEST(SpTabread, ReadsInterpolatedPointsClampedOrWrapped) {
    ContextHandle sp;
    RampTable ramp(sp.get(), 4096);
    TabreadHandle tr;
    ASSERT_EQ(sp_tabread_init(sp.get(), tr.get(), ramp.get(), 1), 1);
    EXPECT_EQ(tr->mode, 1.0f);
    EXPECT_EQ(tabreadAt(tr.get(), 0.5f), 2048.0f);
    EXPECT_EQ(tabreadAt(tr.get(), 0.25f + 1.0f / 8192.0f), 1024.5f);
    // The offset is added before scaling.
    tr->offset = 0.25f;
    EXPECT_EQ(tabreadAt(tr.get(), 0.25f), 2048.0f);

    sp_tabread_init(sp.get(), tr.get(), ramp.get(), 0);
    // The guard point (here 4096) serves the last segment.
    ramp.get()->table[4096] = 5000.0f;
    EXPECT_EQ(tabreadAt(tr.get(), 10.75f), 10.75f);
    EXPECT_EQ(tabreadAt(tr.get(), 4096.0f + 0.25f), 4095.0f + 0.25f * (5000.0f - 4095.0f));
    EXPECT_EQ(tabreadAt(tr.get(), 1.0e9f), 4095.0f);
    EXPECT_EQ(tabreadAt(tr.get(), -3.75f), 0.25f);
    EXPECT_EQ(tabreadAt(tr.get(), -1.0e30f), 0.0f);
    EXPECT_EQ(tabreadAt(tr.get(), NAN), 0.0f);

    tr->wrap = 1.0f;
    EXPECT_EQ(tabreadAt(tr.get(), 4097.5f), 1.5f);
    EXPECT_EQ(tabreadAt(tr.get(), -0.5f), 4095.0f + 0.5f * (5000.0f - 4095.0f));
    EXPECT_EQ(tabreadAt(tr.get(), 3.0e20f), 0.0f);
    // Wrap counts by its integer part.
    tr->wrap = 0.9f;
    EXPECT_EQ(tabreadAt(tr.get(), 4097.5f), 4095.0f + 0.5f * (5000.0f - 4095.0f));

    // A size that is not a power of two never wraps outside its points.
    RampTable odd(sp.get(), 100);
    sp_tabread_init(sp.get(), tr.get(), odd.get(), 0);
    tr->wrap = 1.0f;
    for (float index = -300.0f; index < 300.0f; index += 0.75f) {
        const float y = tabreadAt(tr.get(), index);
        ASSERT_GE(y, 0.0f);
        ASSERT_LE(y, 100.0f);
    }

    StderrCapture captured;
    EXPECT_EQ(sp_tabread_init(sp.get(), tr.get(), nullptr, 1), 0);
    EXPECT_EQ(captured.text().rfind("sp_tabread: ", 0), 0u);
    EXPECT_EQ(tabreadAt(tr.get(), 0.5f), 0.0f);
}

TEST(SpPhaseDistortion, PhasorThroughPdhalfIntoTabreadMakesAShapedTone) {
    ContextHandle sp;
    RampTable sine(sp.get(), 4096, true);
    PhasorHandle ph;
    PdhalfHandle pd;
    TabreadHandle tr;
    sp_phasor_init(sp.get(), ph.get(), 0.0f);
    sp_pdhalf_init(sp.get(), pd.get());
    sp_tabread_init(sp.get(), tr.get(), sine.get(), 1);
    auto render = [&](float amount) {
        sp_phasor_init(sp.get(), ph.get(), 0.0f);
        pd->amount = amount;
        std::vector<float> out(44100);
        for (auto& y : out) {
            float phase, bent;
            sp_phasor_compute(sp.get(), ph.get(), nullptr, &phase);
            sp_pdhalf_compute(sp.get(), pd.get(), &phase, &bent);
            tr->index = bent;
            sp_tabread_compute(sp.get(), tr.get(), nullptr, &y);
        }
        return out;
    };
    auto plain = render(0.0f);
    EXPECT_NEAR(testsupport::toneAmplitude(plain, 44100, 440), 1.0, 1e-3);
    EXPECT_LT(testsupport::toneAmplitude(plain, 44100, 880), 1e-3);
    auto bent = render(0.8f);
    EXPECT_GT(testsupport::toneAmplitude(bent, 44100, 880), 0.1);
    EXPECT_EQ(testsupport::risingZeroCrossings(bent), testsupport::risingZeroCrossings(plain));
}

TEST(SpPhaseTableModules, ComputeNeverAllocates) {
    ContextHandle sp;
    RampTable sine(sp.get(), 1024, true);
    PhasorHandle ph;
    PdhalfHandle pd;
    TabreadHandle tr;
    sp_phasor_init(sp.get(), ph.get(), 0.0f);
    sp_pdhalf_init(sp.get(), pd.get());
    sp_tabread_init(sp.get(), tr.get(), sine.get(), 1);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 256; ++n) {
                      float phase, bent, y;
                      sp_phasor_compute(sp.get(), ph.get(), nullptr, &phase);
                      sp_pdhalf_compute(sp.get(), pd.get(), &phase, &bent);
                      tr->index = bent;
                      sp_tabread_compute(sp.get(), tr.get(), nullptr, &y);
                  }
              }),
              0u);
}
