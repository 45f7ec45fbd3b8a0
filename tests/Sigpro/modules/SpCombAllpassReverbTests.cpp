#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_allpass.h"
#include "Sigpro/modules/sp_comb.h"
#include "Sigpro/modules/sp_jcrev.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"
#include "tests/support/StderrCapture.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using CombHandle = sigprotest::ModuleHandle<sp_comb, sp_comb_create, sp_comb_destroy>;
using AllpassHandle = sigprotest::ModuleHandle<sp_allpass, sp_allpass_create, sp_allpass_destroy>;
using JcrevHandle = sigprotest::ModuleHandle<sp_jcrev, sp_jcrev_create, sp_jcrev_destroy>;

// Output of a module for a unit impulse followed by `samples - 1` zeros.
template <class Record>
std::vector<float> revImpulseResponse(sp_data* sp, Record* p,
                                      int (*compute)(sp_data*, Record*, float*, float*),
                                      std::size_t samples) {
    std::vector<float> out(samples);
    for (std::size_t n = 0; n < samples; ++n) {
        float x = n == 0 ? 1.0f : 0.0f;
        compute(sp, p, &x, &out[n]);
    }
    return out;
}

std::vector<float> revJcrevRender(sp_data* sp, sp_jcrev* p, const std::vector<float>& input) {
    std::vector<float> out(input.size());
    for (std::size_t n = 0; n < input.size(); ++n) {
        float x = input[n];
        sp_jcrev_compute(sp, p, &x, &out[n]);
    }
    return out;
}

} // namespace

TEST(SpComb, EchoesEveryLoopLengthScaledByTheLoopGain) {
    ContextHandle sp;
    CombHandle comb;
    ASSERT_EQ(sp_comb_init(sp.get(), comb.get(), 0.1f), 1);
    EXPECT_EQ(comb->line_length, 4410);
    EXPECT_EQ(comb->reverb_time, 3.5f);
    EXPECT_EQ(comb->buffer.size, 4410 * sizeof(float));

    const auto y = revImpulseResponse(sp.get(), comb.get(), sp_comb_compute, 4 * 4410 + 10);
    const float g = comb->coefficient;
    EXPECT_NEAR(g, std::exp(0.1 * -6.9078 / 3.5), 1e-6);
    for (std::size_t n = 0; n < y.size(); ++n) {
        if (n > 0 && n % 4410 == 0)
            ASSERT_FLOAT_EQ(y[n], std::pow(g, float(n / 4410 - 1))) << n;
        else
            ASSERT_EQ(y[n], 0.0f) << n;
    }

    // Rounding to the nearest whole sample.
    sp_comb_init(sp.get(), comb.get(), 0.00101f); // 44.54 samples
    EXPECT_EQ(comb->line_length, 45);
    sp_comb_init(sp.get(), comb.get(), 0.00099f); // 43.66 samples
    EXPECT_EQ(comb->line_length, 44);

    // A reverberation time so short that the loop gain falls below 1e-16: a pure delay.
    sp_comb_init(sp.get(), comb.get(), 0.01f);
    comb->reverb_time = 0.001f;
    const auto delay = revImpulseResponse(sp.get(), comb.get(), sp_comb_compute, 1000);
    EXPECT_EQ(comb->coefficient, 0.0f);
    for (std::size_t n = 0; n < delay.size(); ++n)
        ASSERT_EQ(delay[n], n == 441 ? 1.0f : 0.0f) << n;
}

TEST(SpAllpass, KeepsTheEnergyAndPassesEveryFrequencyAtUnityGain) {
    ContextHandle sp;
    AllpassHandle ap;
    ASSERT_EQ(sp_allpass_init(sp.get(), ap.get(), 0.1f), 1);
    EXPECT_EQ(ap->line_length, 4410);
    float x = 0.0f, y;
    sp_allpass_compute(sp.get(), ap.get(), &x, &y);
    EXPECT_NEAR(ap->coefficient, std::exp(-0.69078 / 3.5), 1e-6);

    // Impulse response: -g at once, then (1 - g^2) g^(k-1) every loop.
    sp_allpass_init(sp.get(), ap.get(), 0.01f);
    ap->reverb_time = 0.5f;
    const auto h = revImpulseResponse(sp.get(), ap.get(), sp_allpass_compute, 441 * 300);
    const double g = ap->coefficient;
    EXPECT_NEAR(h[0], -g, 1e-6);
    EXPECT_NEAR(h[441], 1.0 - g * g, 1e-6);
    EXPECT_NEAR(h[882], (1.0 - g * g) * g, 1e-6);
    EXPECT_EQ(h[440], 0.0f);
    double energy = 0.0;
    for (float v : h)
        energy += double(v) * v;
    EXPECT_NEAR(energy, 1.0, 1e-5);

    for (double hz : {50.0, 440.0, 3000.0, 12000.0}) {
        sp_allpass_init(sp.get(), ap.get(), 0.003f);
        ap->reverb_time = 0.2f;
        const double gain = testsupport::steadyGain(44100.0, hz, [&](float in) {
            float out;
            sp_allpass_compute(sp.get(), ap.get(), &in, &out);
            return out;
        });
        EXPECT_NEAR(gain, 1.0, 1e-3) << hz;
    }
}

TEST(SpCombAllpass, ALoopTooShortForOneSampleRunsAsOneSample) {
    ContextHandle sp;
    CombHandle comb;
    AllpassHandle ap;
    for (float loop : {0.0f, 1e-6f, -0.5f, NAN}) {
        ASSERT_EQ(sp_comb_init(sp.get(), comb.get(), loop), 1) << loop;
        ASSERT_EQ(sp_allpass_init(sp.get(), ap.get(), loop), 1) << loop;
        EXPECT_EQ(comb->line_length, 1);
        EXPECT_EQ(ap->line_length, 1);
        // The loop gain belongs to the loop actually run: 60 dB down after the reverberation time.
        EXPECT_FLOAT_EQ(comb->loop_time, 1.0f / 44100.0f);
        const auto c = revImpulseResponse(sp.get(), comb.get(), sp_comb_compute, 44100 * 4);
        EXPECT_EQ(c[0], 0.0f);
        EXPECT_EQ(c[1], 1.0f);
        EXPECT_NEAR(c[1 + 154350], 0.001, 1e-4); // 3.5 s later
        const auto a = revImpulseResponse(sp.get(), ap.get(), sp_allpass_compute, 44100 * 4);
        for (float v : a)
            ASSERT_TRUE(std::isfinite(v));
        EXPECT_LT(std::fabs(a.back()), 1e-3f);
    }
}

TEST(SpCombAllpass, ReinitReusesOrReplacesTheLineAndClearsIt) {
    ContextHandle sp;
    CombHandle comb;
    sp_comb_init(sp.get(), comb.get(), 0.01f);
    void* line = comb->buffer.data;
    revImpulseResponse(sp.get(), comb.get(), sp_comb_compute, 300);
    // Same length: the same line, cleared (no echo of the earlier impulse), position back at 0.
    sp_comb_init(sp.get(), comb.get(), 0.01f);
    EXPECT_EQ(comb->buffer.data, line);
    EXPECT_EQ(comb->position, 0);
    std::vector<float> silence(1000, 0.0f);
    for (float& v : silence) {
        float x = 0.0f;
        sp_comb_compute(sp.get(), comb.get(), &x, &v);
        ASSERT_EQ(v, 0.0f);
    }
    // Another length: a line of that length.
    sp_comb_init(sp.get(), comb.get(), 0.02f);
    EXPECT_EQ(comb->line_length, 882);
    EXPECT_EQ(comb->buffer.size, 882 * sizeof(float));
    const auto y = revImpulseResponse(sp.get(), comb.get(), sp_comb_compute, 900);
    EXPECT_EQ(y[882], 1.0f);

    // A line beyond 2^31 - 1 samples is refused with a message and the module then computes silence.
    testsupport::StderrCapture err;
    EXPECT_EQ(sp_comb_init(sp.get(), comb.get(), 1e6f), 0);
    EXPECT_EQ(err.text().rfind("sp_comb: ", 0), 0u) << err.text();
    EXPECT_EQ(comb->buffer.data, nullptr);
    float x = 1.0f, out = 5.0f;
    sp_comb_compute(sp.get(), comb.get(), &x, &out);
    EXPECT_EQ(out, 0.0f);
    // And works again after a sound init.
    ASSERT_EQ(sp_comb_init(sp.get(), comb.get(), 0.001f), 1);
    EXPECT_EQ(revImpulseResponse(sp.get(), comb.get(), sp_comb_compute, 50)[44], 1.0f);
}

TEST(SpJcrev, ImpulseResponseStartsWithTheDirectPathThroughTheAllpasses) {
    ContextHandle sp;
    JcrevHandle rev;
    ASSERT_EQ(sp_jcrev_init(sp.get(), rev.get()), 1);
    const auto h = revImpulseResponse(sp.get(), rev.get(), sp_jcrev_compute, 20000);
    EXPECT_EQ(h[0], 0.0f);
    EXPECT_NEAR(h[1], -0.08232f, 1e-6f);
    EXPECT_NEAR(h[1], 4.0 * 0.06 * std::pow(-0.7, 3), 1e-6);

    // The tail decays: the loudest comb loses 60 dB in about 1601 / 44100 x 3 / log10(1 / 0.802)
    // = 1.1 s, so after 0.45 s the last thousand samples are much quieter than the first.
    double early = 0, late = 0;
    for (int n = 0; n < 1000; ++n) {
        early += h[1 + n] * h[1 + n];
        late += h[19000 + n] * h[19000 + n];
    }
    EXPECT_GT(early, 0.0);
    EXPECT_LT(late, early * 0.5);
    for (float v : h)
        ASSERT_TRUE(std::isfinite(v));
}

TEST(SpJcrev, SilenceStaysSilentAndTheSameInputGivesTheSameOutput) {
    ContextHandle sp;
    JcrevHandle a, b;
    sp_jcrev_init(sp.get(), a.get());
    sp_jcrev_init(sp.get(), b.get());
    for (float v : revJcrevRender(sp.get(), a.get(), std::vector<float>(20000, 0.0f)))
        ASSERT_EQ(v, 0.0f);

    const auto noise = testsupport::noise(30000, 3);
    const auto first = revJcrevRender(sp.get(), a.get(), noise);
    const auto second = revJcrevRender(sp.get(), b.get(), noise);
    EXPECT_EQ(first, second);

    // Re-init keeps the state block, forgets the tail, and starts over exactly.
    sp_jcrev_state* state = a->state;
    sp_jcrev_init(sp.get(), a.get());
    EXPECT_EQ(a->state, state);
    EXPECT_EQ(revJcrevRender(sp.get(), a.get(), noise), first);

    // The loop lengths are in samples: the same output at any sample rate.
    ContextHandle fast;
    fast->sample_rate = 96000;
    JcrevHandle c;
    sp_jcrev_init(fast.get(), c.get());
    EXPECT_EQ(revJcrevRender(fast.get(), c.get(), noise), first);
}

TEST(SpDelayReverbs, ComputeNeverAllocates) {
    ContextHandle sp;
    CombHandle comb;
    AllpassHandle ap;
    JcrevHandle rev;
    sp_comb_init(sp.get(), comb.get(), 0.05f);
    sp_allpass_init(sp.get(), ap.get(), 0.05f);
    sp_jcrev_init(sp.get(), rev.get());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 5000; ++n) {
                      float x = static_cast<float>(std::sin(0.01 * n)), y;
                      comb->reverb_time = 1.0f + 0.001f * static_cast<float>(n);
                      sp_comb_compute(sp.get(), comb.get(), &x, &y);
                      sp_allpass_compute(sp.get(), ap.get(), &x, &y);
                      sp_jcrev_compute(sp.get(), rev.get(), &x, &y);
                  }
              }),
              0u);
}
