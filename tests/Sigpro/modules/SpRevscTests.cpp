#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_revsc.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/AllocationTrap.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using RevscHandle = sigprotest::ModuleHandle<sp_revsc, sp_revsc_create, sp_revsc_destroy>;

struct RevscOutput {
    std::vector<float> left, right;
};

RevscOutput revscRender(sp_data* sp, sp_revsc* p, const std::vector<float>& left,
                        const std::vector<float>& right) {
    RevscOutput out{std::vector<float>(left.size()), std::vector<float>(left.size())};
    for (std::size_t n = 0; n < left.size(); ++n) {
        float l = left[n], r = right[n];
        sp_revsc_compute(sp, p, &l, &r, &out.left[n], &out.right[n]);
    }
    return out;
}

double revscEnergy(const std::vector<float>& y, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t n = from; n < to; ++n)
        sum += double(y[n]) * y[n];
    return sum;
}

// Shortest start delay of a side's lines in samples, and their spread: base +- variation.
constexpr double revscShortestLeft = 2143.0;  // line 6
constexpr double revscShortestRight = 1933.0; // line 7
constexpr double revscDrift = 0.0017 * 44100.0;

} // namespace

TEST(SpRevsc, LinesAreSizedFromTheirDelaysAndDriftAt44100) {
    ContextHandle sp;
    RevscHandle rev;
    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->feedback, 0.97f);
    EXPECT_EQ(rev->lowpass_frequency, 10000.0f);
    EXPECT_EQ(rev->pitch_modulation, 1.0f);
    EXPECT_EQ(rev->ready, 1);
    const std::int32_t sizes[8] = {2539, 2838, 3317, 3603, 3973, 4198, 2243, 1979};
    std::size_t total = 0;
    for (int n = 0; n < 8; ++n) {
        EXPECT_EQ(rev->lines[n].size, sizes[n]) << n;
        total += sizes[n];
    }
    EXPECT_EQ(rev->storage.size, total * sizeof(float));
    // Laid out in line order in one block.
    for (int n = 1; n < 8; ++n)
        EXPECT_EQ(rev->lines[n].samples, rev->lines[n - 1].samples + sizes[n - 1]) << n;

    // A different rate sizes the lines afresh.
    sp->sample_rate = 48000;
    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->lines[0].size, 2762);
    EXPECT_EQ(rev->lines[7].size, 2152);
}

TEST(SpRevsc, SilenceStaysSilentAndTheDriftIsDeterministic) {
    ContextHandle sp;
    RevscHandle first, second;
    ASSERT_EQ(sp_revsc_init(sp.get(), first.get()), 1);
    const std::vector<float> silence(2 * 44100, 0.0f);
    RevscOutput quiet = revscRender(sp.get(), first.get(), silence, silence);
    for (std::size_t n = 0; n < silence.size(); ++n)
        ASSERT_TRUE(quiet.left[n] == 0.0f && quiet.right[n] == 0.0f) << n;

    ASSERT_EQ(sp_revsc_init(sp.get(), first.get()), 1);
    ASSERT_EQ(sp_revsc_init(sp.get(), second.get()), 1);
    const std::vector<float> left = testsupport::noise(44100, 1u), right = testsupport::noise(44100, 2u);
    RevscOutput a = revscRender(sp.get(), first.get(), left, right);
    RevscOutput b = revscRender(sp.get(), second.get(), left, right);
    EXPECT_EQ(a.left, b.left);
    EXPECT_EQ(a.right, b.right);
    EXPECT_GT(revscEnergy(a.left, 0, a.left.size()), 1.0);
}

TEST(SpRevsc, AnImpulseComesBackAfterTheShortestLineAndRingsWithTheFeedback) {
    ContextHandle sp;
    RevscHandle rev;
    const std::size_t samples = 3 * 44100;
    std::vector<float> impulse(samples, 0.0f), silence(samples, 0.0f);
    impulse[0] = 1.0f;

    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    RevscOutput fromLeft = revscRender(sp.get(), rev.get(), impulse, silence);
    const std::size_t leftOnset = testsupport::onset(fromLeft.left);
    EXPECT_GE(double(leftOnset), revscShortestLeft - revscDrift);
    EXPECT_LE(double(leftOnset), revscShortestLeft + revscDrift);
    // The other side hears it only through the junction, once a left line has output it, and then only
    // after one of its own lines.
    EXPECT_GE(double(testsupport::onset(fromLeft.right)),
              double(leftOnset) + revscShortestRight - revscDrift);

    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    RevscOutput fromRight = revscRender(sp.get(), rev.get(), silence, impulse);
    const std::size_t rightOnset = testsupport::onset(fromRight.right);
    EXPECT_GE(double(rightOnset), revscShortestRight - revscDrift);
    EXPECT_LE(double(rightOnset), revscShortestRight + revscDrift);
    EXPECT_GE(double(testsupport::onset(fromRight.left)),
              double(rightOnset) + revscShortestLeft - revscDrift);

    // The tail: energy in the third second relative to the first, for three feedback gains.
    auto tail = [&](float feedback) {
        EXPECT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
        rev->feedback = feedback;
        RevscOutput out = revscRender(sp.get(), rev.get(), impulse, silence);
        return std::make_pair(revscEnergy(out.left, 0, 44100), revscEnergy(out.left, 2 * 44100, samples));
    };
    const auto [strongFirst, strongTail] = tail(0.97f);
    const auto [weakFirst, weakTail] = tail(0.6f);
    EXPECT_GT(strongTail / strongFirst, 100.0 * weakTail / weakFirst);
    EXPECT_GT(strongTail, 0.0);
    // The lines are heard only after their feedback gain, so feedback 0 mutes the reverb.
    const auto [mutedFirst, mutedTail] = tail(0.0f);
    EXPECT_EQ(mutedFirst, 0.0);
    EXPECT_EQ(mutedTail, 0.0);
}

TEST(SpRevsc, TheDampingCutoffDarkensTheTail) {
    ContextHandle sp;
    RevscHandle rev;
    const std::vector<float> left = testsupport::noise(44100, 3u), right = testsupport::noise(44100, 4u);
    // High-band share (above 5.5 kHz) of the tail's spectrum for a cutoff.
    auto highShare = [&](float cutoff) {
        EXPECT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
        rev->lowpass_frequency = cutoff;
        RevscOutput out = revscRender(sp.get(), rev.get(), left, right);
        std::size_t n = 22050;
        const auto power = testsupport::averagedPowerSpectrum([&] { return out.left[n++]; }, 512, 40);
        return testsupport::bandPower(power, 64, 256) / testsupport::bandPower(power, 2, 64);
    };
    const double bright = highShare(15000.0f);
    const double dark = highShare(1000.0f);
    EXPECT_LT(testsupport::toDecibels(dark / bright) / 2.0, -10.0);
    // The one-pole coefficient follows the cutoff: b = 2 - cos(w), damping = b - sqrt(b^2 - 1).
    const double b = 2.0 - std::cos(2.0 * 3.141592653589793 * 1000.0 / 44100.0);
    EXPECT_FLOAT_EQ(rev->damping, static_cast<float>(b - std::sqrt(b * b - 1.0)));
}

TEST(SpRevsc, ComputeNeverAllocatesAndAnUninitialisedReverbIsSilent) {
    ContextHandle sp;
    RevscHandle rev;
    float l = 1.0f, r = 1.0f, outL = 5.0f, outR = 5.0f;
    EXPECT_EQ(sp_revsc_compute(sp.get(), rev.get(), &l, &r, &outL, &outR), 0);
    EXPECT_EQ(outL, 0.0f);
    EXPECT_EQ(outR, 0.0f);

    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    const void* storage = rev->storage.data;
    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(rev->storage.data, storage);

    const std::vector<float> noise = testsupport::noise(8192, 5u);
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (std::size_t n = 0; n < noise.size(); ++n) {
                      l = r = noise[n];
                      rev->lowpass_frequency = 4000.0f + float(n % 64);
                      ASSERT_EQ(sp_revsc_compute(sp.get(), rev.get(), &l, &r, &outL, &outR), 1);
                  }
              }),
              0u);
    EXPECT_EQ(testsupport::AllocationTrap::renderThreadCounts().deallocations, 0u);
}
