#include <complex>

#include "Sigpro/modules/sp_phaser.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;

namespace {

using PhaserHandle = sigprotest::ModuleHandle<sp_phaser, sp_phaser_create, sp_phaser_destroy>;
using Phaser = sigprotest::Fresh<PhaserHandle>;

sigprotest::Stereo phaserRender(const Phaser& p, const std::vector<float>& left,
                                const std::vector<float>& right) {
    return sigprotest::renderStereo(sp_phaser_compute, p.sp(), p.get(), left.size(), left, right);
}

std::vector<float> phaserParameters(const PhaserHandle& p) {
    std::vector<float> values;
    for (float* parameter :
         {p->max_notch1_frequency, p->min_notch1_frequency, p->notch_width, p->notch_frequency,
          p->vibrato_mode, p->depth, p->feedback_gain, p->invert, p->level, p->lfo_bpm})
        values.push_back(*parameter);
    return values;
}

} // namespace

TEST(SpPhaser, InitWritesTheDefaultsAndDepthZeroPassesTheInputScaledByTheLevel) {
    Phaser ph(sp_phaser_init);
    const std::vector<float> defaults = {800.0f, 100.0f, 1000.0f, 1.5f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 30.0f};
    EXPECT_EQ(phaserParameters(ph), defaults);

    const std::vector<float> left = testsupport::noise(20000, 1u), right = testsupport::noise(20000, 2u);
    for (float level : {0.0f, -6.0f, 4.5f}) {
        // Re-init restores the defaults in the same memory, without registering the parameters twice.
        EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] { sp_phaser_init(ph.sp(), ph.get()); }), 0u);
        EXPECT_EQ(std::pair(ph->parameter_count, phaserParameters(ph)), std::pair(10, defaults));
        *ph->depth = 0.0f;
        *ph->level = level;
        *ph->feedback_gain = 0.7f;
        *ph->lfo_bpm = 200.0f;
        const auto gain = static_cast<float>(std::pow(10.0, 0.05 * level));
        const auto out = phaserRender(ph, left, right);
        for (std::size_t i = 0; i < left.size(); ++i)
            ASSERT_EQ(std::pair(out.left[i], out.right[i]), std::pair(left[i] * gain, right[i] * gain))
                << level;
        // A new level applies from the next frame.
        *ph->level = level - 10.0f;
        const auto lower = static_cast<float>(std::pow(10.0, 0.05 * (level - 10.0f)));
        const auto next = phaserRender(ph, {0.25f}, {-0.5f});
        EXPECT_EQ(std::pair(next.left[0], next.right[0]), std::pair(0.25f * lower, -0.5f * lower));
    }
}

TEST(SpPhaser, FrozenSweepMatchesTheAllPassCascadeWithFeedback) {
    // A maximum below the minimum freezes the base frequency at the minimum: a fixed linear filter
    // lg (dry + wet A / (1 - feedback z^-1 A)), A the four all-pass sections.
    const double rate = 44100.0;
    // One module for every setting: each change must reach the next sample.
    Phaser ph(sp_phaser_init);
    using Setting = std::tuple<float, float, float, float, float, float, float>;
    for (const auto& [vibrato, depth, feedback, invert, level, width, ratio] :
         {Setting{0, 1.0f, 0.0f, 0, 0.0f, 1000.0f, 1.5f}, Setting{1, 0.3f, 0.0f, 0, -3.0f, 300.0f, 2.0f},
          Setting{0, 0.6f, 0.5f, 1, 2.0f, 1000.0f, 1.5f}, Setting{1, 1.0f, 0.8f, 0, 0.0f, 200.0f, 1.2f}}) {
        *ph->max_notch1_frequency = 50.0f;
        *ph->min_notch1_frequency = 300.0f;
        *ph->vibrato_mode = vibrato;
        *ph->depth = depth;
        *ph->feedback_gain = feedback;
        *ph->invert = invert;
        *ph->level = level;
        *ph->notch_width = width;
        *ph->notch_frequency = ratio;

        const double radius = std::exp(-3.14159 * width / rate);
        const double wet = (vibrato != 0 ? 1.0 : 0.5 * depth) * (invert != 0 ? -1.0 : 1.0);
        for (double hz : {150.0, 450.0, 700.0, 2500.0}) {
            const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * hz / rate);
            std::complex<double> allpass = 1.0;
            for (int k = 1; k <= 4; ++k) {
                const double c = 2.0 * radius * std::cos(6.28319 * 300.0 * std::pow(double(ratio), k) / rate);
                allpass *= (radius * radius - c * z1 + z1 * z1) / (1.0 - c * z1 + radius * radius * z1 * z1);
            }
            const std::complex<double> want =
                std::pow(10.0, 0.05 * level) *
                (1.0 - std::abs(wet) + wet * allpass / (1.0 - double(feedback) * z1 * allpass));
            const std::vector<float> tone = testsupport::sine(22050, hz, rate);
            const auto out = phaserRender(ph, tone, tone);
            const std::complex<double> got = testsupport::toneComponent(out.left, rate, hz, 11025);
            EXPECT_LT(std::abs(got - want), 2e-3 * std::max(1.0, std::abs(want)))
                << hz << " Hz: " << got << " want " << want;
            // Both channels sit at the same frozen frequency.
            EXPECT_EQ(out.left, out.right);
        }
    }
}

TEST(SpPhaser, SweepLastsSixtyOverBpmSecondsWithTheRightChannelAQuarterAhead) {
    // A 1000 Hz tone through the swept notches; blocks of a hundredth of a sweep, each a whole number of
    // tone periods, give each channel's envelope.
    const double rate = 48000.0;
    for (float bpm : {60.0f, 120.0f, 48.0f}) {
        const auto period = static_cast<std::size_t>(std::lround(60.0 * rate / bpm));
        const std::size_t block = period / 100;
        const std::vector<float> tone = testsupport::sine(3 * period, 1000.0, rate);
        Phaser ph(48000, sp_phaser_init);
        *ph->lfo_bpm = bpm;
        const auto out = phaserRender(ph, tone, tone);
        std::vector<double> left, right;
        for (std::size_t at = 0; at + block <= tone.size(); at += block) {
            left.push_back(testsupport::rms(out.left, at, at + block));
            right.push_back(testsupport::rms(out.right, at, at + block));
        }
        ASSERT_EQ(left.size(), 300u);
        const auto [low, high] = std::minmax_element(left.begin(), left.end());
        EXPECT_GT(*high - *low, 0.3) << bpm;
        // The lag in [from, to] that best maps a[i] onto b[i + lag].
        auto bestLag = [](const std::vector<double>& a, const std::vector<double>& b, int from, int to,
                          int count) {
            std::pair<double, int> best{1e300, from};
            for (int lag = from; lag <= to; ++lag) {
                double error = 0.0;
                for (int i = 5; i < 5 + count; ++i)
                    error += (a[i] - b[i + lag]) * (a[i] - b[i + lag]);
                best = std::min(best, std::pair(error, lag));
            }
            return best.second;
        };
        EXPECT_EQ(bestLag(left, left, 50, 150, 140), 100) << bpm;
        EXPECT_EQ(bestLag(right, left, 0, 99, 150), 25) << bpm;
    }
}

TEST(SpPhaser, ComputeNeverAllocatesAndOddRatesStayFinite) {
    Phaser ph(sp_phaser_init);
    *ph->feedback_gain = 0.5f;
    const std::vector<float> input = testsupport::noise(4096, 3u);
    float l = 0.0f, r = 0.0f;
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (float s : input) {
                      float x = s, y = -s;
                      *ph->lfo_bpm = 30.0f + s;
                      sp_phaser_compute(ph.sp(), ph.get(), &x, &y, &l, &r);
                  }
              }),
              0u);
    // Rates below 2 count as 1 Hz, above 192000 as 192000: the module still computes.
    for (int rate : {0, -5, 1, 400000}) {
        const auto out = phaserRender(Phaser(rate, sp_phaser_init), input, input);
        EXPECT_TRUE(sigprotest::allFinite(out.left) && sigprotest::allFinite(out.right)) << rate;
    }
}
