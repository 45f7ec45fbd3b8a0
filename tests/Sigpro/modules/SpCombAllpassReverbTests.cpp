#include "Sigpro/modules/sp_allpass.h"
#include "Sigpro/modules/sp_comb.h"
#include "Sigpro/modules/sp_jcrev.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::impulse;

namespace {

using Comb = SP_COMPUTING_MODULE(comb);
using Allpass = SP_COMPUTING_MODULE(allpass);
using Jcrev = SP_COMPUTING_MODULE(jcrev);

} // namespace

TEST(SpComb, EchoesEveryLoopLengthScaledByTheLoopGain) {
    sigprotest::Fresh<Comb> comb(sp_comb_init, 0.1f);
    EXPECT_EQ(std::pair(comb->line_length, comb->reverb_time), std::pair(4410, 3.5f));
    const auto y = comb(impulse(4 * 4410 + 10));
    const float g = comb->coefficient;
    EXPECT_NEAR(g, std::exp(0.1 * -6.9078 / 3.5), 1e-6);
    for (std::size_t n = 0; n < y.size(); ++n) {
        if (n > 0 && n % 4410 == 0)
            ASSERT_FLOAT_EQ(y[n], std::pow(g, float(n / 4410 - 1))) << n;
        else
            ASSERT_EQ(y[n], 0.0f) << n;
    }
    // Rounded to the nearest whole sample: 44.54 and 43.66 samples.
    sp_comb_init(comb.sp(), comb.get(), 0.00101f);
    EXPECT_EQ(comb->line_length, 45);
    sp_comb_init(comb.sp(), comb.get(), 0.00099f);
    EXPECT_EQ(comb->line_length, 44);

    // A reverberation time so short that the loop gain falls below 1e-16: a pure delay.
    sp_comb_init(comb.sp(), comb.get(), 0.01f);
    comb->reverb_time = 0.001f;
    const auto delay = comb(impulse(1000));
    EXPECT_EQ(comb->coefficient, 0.0f);
    for (std::size_t n = 0; n < delay.size(); ++n)
        ASSERT_EQ(delay[n], n == 441 ? 1.0f : 0.0f) << n;
}

TEST(SpAllpass, KeepsTheEnergyAndPassesEveryFrequencyAtUnityGain) {
    sigprotest::Fresh<Allpass> ap(sp_allpass_init, 0.1f);
    EXPECT_EQ(ap->line_length, 4410);
    ap(0.0f);
    EXPECT_NEAR(ap->coefficient, std::exp(-0.69078 / 3.5), 1e-6);

    // Impulse response: -g at once, then (1 - g^2) g^(k-1) every loop.
    sp_allpass_init(ap.sp(), ap.get(), 0.01f);
    ap->reverb_time = 0.5f;
    const auto h = ap(impulse(441 * 300));
    const double g = ap->coefficient;
    EXPECT_NEAR(h[0], -g, 1e-6);
    EXPECT_EQ(h[440], 0.0f);
    EXPECT_NEAR(h[441], 1.0 - g * g, 1e-6);
    EXPECT_NEAR(h[882], (1.0 - g * g) * g, 1e-6);
    EXPECT_NEAR(std::pow(testsupport::rms(h), 2.0) * double(h.size()), 1.0, 1e-5);

    for (double hz : {50.0, 440.0, 3000.0, 12000.0}) {
        auto configure = [](sp_allpass* p) { p->reverb_time = 0.2f; };
        EXPECT_NEAR(sigprotest::freshGain<Allpass>(
                        [](sp_data* context, sp_allpass* p) { return sp_allpass_init(context, p, 0.003f); },
                        configure, hz),
                    1.0, 1e-3)
            << hz;
    }
}

TEST(SpCombAllpass, ALoopTooShortForOneSampleRunsAsOneSample) {
    for (float loop : {0.0f, 1e-6f, -0.5f, NAN}) {
        SCOPED_TRACE(loop);
        sigprotest::Fresh<Comb> comb(sp_comb_init, loop);
        sigprotest::Fresh<Allpass> ap(sp_allpass_init, loop);
        EXPECT_EQ(std::pair(comb->line_length, ap->line_length), std::pair(1, 1));
        // The loop gain belongs to the loop actually run: 60 dB down after the reverberation time, 3.5 s.
        const auto c = comb(impulse(44100 * 4));
        EXPECT_EQ(std::pair(c[0], c[1]), std::pair(0.0f, 1.0f));
        EXPECT_NEAR(c[1 + 154350], 0.001, 1e-4);
        const auto a = ap(impulse(44100 * 4));
        EXPECT_TRUE(sigprotest::allFinite(a));
        EXPECT_LT(std::fabs(a.back()), 1e-3f);
    }
}

TEST(SpCombAllpass, ReinitStartsOverLongLinesAreRefusedAndComputeNeverAllocates) {
    auto use = [](auto* p) { p->reverb_time = 1.0f; };
    auto vary = [](auto* p, int n) { p->reverb_time = 1.0f + 0.001f * float(n); };
    for (float loop : {0.01f, 0.05f}) {
        sigprotest::expectModuleLifecycle<Comb>(
            [loop](sp_data* sp, sp_comb* p) { return sp_comb_init(sp, p, loop); }, impulse(3000), use, vary);
        sigprotest::expectModuleLifecycle<Allpass>(
            [loop](sp_data* sp, sp_allpass* p) { return sp_allpass_init(sp, p, loop); }, impulse(3000), use,
            vary);
    }
    // Another length: a line of that length.
    sigprotest::Fresh<Comb> comb(sp_comb_init, 0.01f);
    sp_comb_init(comb.sp(), comb.get(), 0.02f);
    EXPECT_EQ(comb(impulse(900))[882], 1.0f);

    // A line beyond 2^31 - 1 samples is refused with a message and the module then computes silence.
    testsupport::StderrCapture err;
    EXPECT_EQ(sp_comb_init(comb.sp(), comb.get(), 1e6f), 0);
    EXPECT_EQ(err.text().rfind("sp_comb: ", 0), 0u) << err.text();
    EXPECT_EQ(comb(1.0f), 0.0f);
    // And works again after a sound init.
    ASSERT_EQ(sp_comb_init(comb.sp(), comb.get(), 0.001f), 1);
    EXPECT_EQ(comb(impulse(50))[44], 1.0f);
}

TEST(SpJcrev, ImpulseResponseStartsWithTheDirectPathThroughTheAllpassesAndDecays) {
    sigprotest::Fresh<Jcrev> rev(sp_jcrev_init);
    const auto h = rev(impulse(20000));
    EXPECT_EQ(h[0], 0.0f);
    EXPECT_NEAR(h[1], -0.08232f, 1e-6f);
    EXPECT_NEAR(h[1], 4.0 * 0.06 * std::pow(-0.7, 3), 1e-6);
    // The loudest comb loses 60 dB in about 1601 / 44100 x 3 / log10(1 / 0.802) = 1.1 s, so after 0.45 s
    // the last thousand samples are much quieter than the first.
    EXPECT_GT(testsupport::rms(h, 1, 1001), 0.0);
    EXPECT_LT(testsupport::rms(h, 19000, 20000), testsupport::rms(h, 1, 1001) * std::sqrt(0.5));
    EXPECT_TRUE(sigprotest::allFinite(h));
}

TEST(SpJcrev, SilenceStaysSilentAndTheSameInputGivesTheSameOutputAtAnyRate) {
    sigprotest::Fresh<Jcrev> a(sp_jcrev_init), b(96000, sp_jcrev_init);
    EXPECT_EQ(a(std::vector<float>(20000, 0.0f)), std::vector<float>(20000, 0.0f));
    // The loop lengths are in samples: the same output at any sample rate.
    const auto noise = testsupport::noise(30000, 3);
    EXPECT_EQ(b(noise), a(noise));
    sigprotest::expectModuleLifecycle<Jcrev>(sp_jcrev_init, noise);
}
