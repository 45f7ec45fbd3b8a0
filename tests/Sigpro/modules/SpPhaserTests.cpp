#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_phaser.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using PhaserHandle = sigprotest::ModuleHandle<sp_phaser, sp_phaser_create, sp_phaser_destroy>;

struct PhaserStereo {
    std::vector<float> left, right;
};

PhaserStereo phaserRender(sp_data* sp, sp_phaser* p, const std::vector<float>& left,
                          const std::vector<float>& right) {
    PhaserStereo out{std::vector<float>(left.size()), std::vector<float>(left.size())};
    for (std::size_t i = 0; i < left.size(); ++i) {
        float l = left[i], r = right[i];
        EXPECT_EQ(sp_phaser_compute(sp, p, &l, &r, &out.left[i], &out.right[i]), 1);
    }
    return out;
}

// RMS of consecutive blocks.
std::vector<double> phaserEnvelope(const std::vector<float>& y, std::size_t block) {
    std::vector<double> env;
    for (std::size_t at = 0; at + block <= y.size(); at += block) {
        double sum = 0.0;
        for (std::size_t i = at; i < at + block; ++i)
            sum += double(y[i]) * y[i];
        env.push_back(std::sqrt(sum / double(block)));
    }
    return env;
}

// The lag in [from, to] that best maps a[b] onto b[b + lag].
int phaserBestLag(const std::vector<double>& a, const std::vector<double>& b, int from, int to, int first,
                  int count) {
    int best = from;
    double bestError = 1e300;
    for (int lag = from; lag <= to; ++lag) {
        double error = 0.0;
        for (int i = first; i < first + count; ++i)
            error += (a[i] - b[i + lag]) * (a[i] - b[i + lag]);
        if (error < bestError) {
            bestError = error;
            best = lag;
        }
    }
    return best;
}

} // namespace

TEST(SpPhaser, InitRegistersTheTenParametersWithTheirDefaults) {
    ContextHandle sp;
    PhaserHandle ph;
    ASSERT_EQ(sp_phaser_init(sp.get(), ph.get()), 1);
    ASSERT_EQ(ph->parameter_count, 10);
    float* named[10] = {ph->max_notch1_frequency,
                        ph->min_notch1_frequency,
                        ph->notch_width,
                        ph->notch_frequency,
                        ph->vibrato_mode,
                        ph->depth,
                        ph->feedback_gain,
                        ph->invert,
                        ph->level,
                        ph->lfo_bpm};
    const float defaults[10] = {800.0f, 100.0f, 1000.0f, 1.5f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 30.0f};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(ph->parameters[i], named[i]) << i;
        ASSERT_NE(named[i], nullptr) << i;
        EXPECT_EQ(*named[i], defaults[i]) << i;
    }
    // Re-init restores the defaults in the same block and does not register twice.
    *ph->depth = 0.2f;
    float* depth = ph->depth;
    ASSERT_EQ(sp_phaser_init(sp.get(), ph.get()), 1);
    EXPECT_EQ(ph->parameter_count, 10);
    EXPECT_EQ(ph->depth, depth);
    EXPECT_EQ(*ph->depth, 1.0f);
}

TEST(SpPhaser, DepthZeroPassesTheInputScaledByTheLevel) {
    ContextHandle sp;
    const std::vector<float> left = testsupport::noise(20000, 1u), right = testsupport::noise(20000, 2u);
    for (float level : {0.0f, -6.0f, 4.5f}) {
        PhaserHandle ph;
        ASSERT_EQ(sp_phaser_init(sp.get(), ph.get()), 1);
        *ph->depth = 0.0f;
        *ph->level = level;
        *ph->feedback_gain = 0.7f;
        *ph->lfo_bpm = 200.0f;
        const auto gain = static_cast<float>(std::pow(10.0, 0.05 * level));
        const PhaserStereo out = phaserRender(sp.get(), ph.get(), left, right);
        for (std::size_t i = 0; i < left.size(); ++i) {
            ASSERT_EQ(out.left[i], left[i] * 1.0f * gain) << level << " " << i;
            ASSERT_EQ(out.right[i], right[i] * 1.0f * gain) << level << " " << i;
        }
        // A new level applies from the next frame.
        *ph->level = level - 10.0f;
        const auto lower = static_cast<float>(std::pow(10.0, 0.05 * (level - 10.0f)));
        float l = 0.25f, r = -0.5f, outLeft, outRight;
        sp_phaser_compute(sp.get(), ph.get(), &l, &r, &outLeft, &outRight);
        EXPECT_EQ(outLeft, 0.25f * lower);
        EXPECT_EQ(outRight, -0.5f * lower);
    }
}

TEST(SpPhaser, FrozenSweepMatchesTheAllPassCascadeWithFeedback) {
    // A maximum below the minimum freezes the base frequency at the minimum: a fixed linear filter
    // lg (dry + wet A / (1 - feedback z^-1 A)), A the four all-pass sections.
    const double rate = 44100.0;
    ContextHandle sp;
    // One module for every setting: each change must reach the next sample.
    PhaserHandle ph;
    ASSERT_EQ(sp_phaser_init(sp.get(), ph.get()), 1);
    struct Setting {
        float vibrato, depth, feedback, invert, level, width, ratio;
    };
    for (Setting s :
         {Setting{0, 1.0f, 0.0f, 0, 0.0f, 1000.0f, 1.5f}, Setting{1, 0.3f, 0.0f, 0, -3.0f, 300.0f, 2.0f},
          Setting{0, 0.6f, 0.5f, 1, 2.0f, 1000.0f, 1.5f}, Setting{1, 1.0f, 0.8f, 0, 0.0f, 200.0f, 1.2f}}) {
        *ph->max_notch1_frequency = 50.0f;
        *ph->min_notch1_frequency = 300.0f;
        *ph->vibrato_mode = s.vibrato;
        *ph->depth = s.depth;
        *ph->feedback_gain = s.feedback;
        *ph->invert = s.invert;
        *ph->level = s.level;
        *ph->notch_width = s.width;
        *ph->notch_frequency = s.ratio;

        const double radius = std::exp(-3.14159 * s.width / rate);
        const double base = 6.28319 * 300.0;
        const double wet = (s.vibrato != 0 ? 1.0 : 0.5 * s.depth) * (s.invert != 0 ? -1.0 : 1.0);
        const double dry = 1.0 - std::abs(wet);
        const double lg = std::pow(10.0, 0.05 * s.level);
        for (double hz : {150.0, 450.0, 700.0, 2500.0}) {
            const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
            std::complex<double> allpass = 1.0;
            for (int k = 1; k <= 4; ++k) {
                const double c = 2.0 * radius * std::cos(base * std::pow(double(s.ratio), k) / rate);
                allpass *= (radius * radius - c * z1 + z1 * z1) / (1.0 - c * z1 + radius * radius * z1 * z1);
            }
            const std::complex<double> want =
                lg * (dry + wet * allpass / (1.0 - double(s.feedback) * z1 * allpass));
            const std::vector<float> tone = testsupport::sine(22050, hz, rate);
            const PhaserStereo out = phaserRender(sp.get(), ph.get(), tone, tone);
            const std::complex<double> got = testsupport::toneComponent(out.left, rate, hz, 11025);
            EXPECT_LT(std::abs(got - want), 2e-3 * std::max(1.0, std::abs(want)))
                << hz << " Hz: " << got << " want " << want;
            // Both channels sit at the same frozen frequency.
            for (std::size_t i = 0; i < tone.size(); ++i)
                ASSERT_EQ(out.left[i], out.right[i]) << i;
        }
    }
}

TEST(SpPhaser, SweepLastsSixtyOverBpmSecondsWithTheRightChannelAQuarterAhead) {
    // A 1000 Hz tone through the swept notches; blocks of a hundredth of a sweep, each a whole number of
    // tone periods, give each channel's envelope.
    const double rate = 48000.0;
    ContextHandle sp;
    sp->sample_rate = 48000;
    for (float bpm : {60.0f, 120.0f, 48.0f}) {
        const auto period = static_cast<std::size_t>(std::lround(60.0 * rate / bpm));
        const std::size_t block = period / 100;
        const std::vector<float> tone = testsupport::sine(3 * period, 1000.0, rate);
        PhaserHandle ph;
        ASSERT_EQ(sp_phaser_init(sp.get(), ph.get()), 1);
        *ph->lfo_bpm = bpm;
        const PhaserStereo out = phaserRender(sp.get(), ph.get(), tone, tone);
        const std::vector<double> left = phaserEnvelope(out.left, block);
        const std::vector<double> right = phaserEnvelope(out.right, block);
        ASSERT_EQ(left.size(), 300u);
        const auto [low, high] = std::minmax_element(left.begin(), left.end());
        EXPECT_GT(*high - *low, 0.3) << bpm;

        EXPECT_EQ(phaserBestLag(left, left, 50, 150, 5, 140), 100) << bpm;
        EXPECT_EQ(phaserBestLag(right, left, 0, 99, 5, 150), 25) << bpm;
    }
}

TEST(SpPhaser, ComputeNeverAllocatesAndOddRatesStayFinite) {
    ContextHandle sp;
    PhaserHandle ph;
    ASSERT_EQ(sp_phaser_init(sp.get(), ph.get()), 1);
    *ph->feedback_gain = 0.5f;
    const std::vector<float> input = testsupport::noise(4096, 3u);
    float l = 0.0f, r = 0.0f;
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (float s : input) {
                      float x = s, y = -s;
                      sp_phaser_compute(sp.get(), ph.get(), &x, &y, &l, &r);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);

    // Rates below 2 count as 1 Hz, above 192000 as 192000: the module still computes.
    for (int rate : {0, -5, 1, 400000}) {
        sp->sample_rate = rate;
        PhaserHandle odd;
        ASSERT_EQ(sp_phaser_init(sp.get(), odd.get()), 1);
        const PhaserStereo out = phaserRender(sp.get(), odd.get(), input, input);
        for (std::size_t i = 0; i < input.size(); ++i)
            ASSERT_TRUE(std::isfinite(out.left[i]) && std::isfinite(out.right[i])) << rate << " " << i;
    }
}
