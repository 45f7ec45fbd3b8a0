#include "Sigpro/modules/sp_revsc.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using namespace testsupport;

namespace {

using Revsc = sigprotest::Fresh<SP_MODULE(revsc)>;

sigprotest::Stereo revscRender(const Revsc& rev, const std::vector<float>& left,
                               const std::vector<float>& right) {
    return sigprotest::renderStereo(sp_revsc_compute, rev.sp(), rev.get(), left.size(), left, right);
}

} // namespace

TEST(SpRevsc, LinesAreSizedFromTheirDelaysAndDriftAtTheSampleRate) {
    Revsc rev(sp_revsc_init);
    EXPECT_EQ((std::vector{rev->feedback, rev->lowpass_frequency, rev->pitch_modulation}),
              (std::vector{0.97f, 10000.0f, 1.0f}));
    const std::int32_t sizes[8] = {2539, 2838, 3317, 3603, 3973, 4198, 2243, 1979};
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(rev->lines[n].size, sizes[n]) << n;
    Revsc faster(48000, sp_revsc_init);
    EXPECT_EQ(std::pair(faster->lines[0].size, faster->lines[7].size), std::pair(2762, 2152));
}

TEST(SpRevsc, SilenceStaysSilentAndTheDriftIsDeterministicAfterAReinitToo) {
    Revsc used(sp_revsc_init), fresh(sp_revsc_init);
    const std::vector<float> silence(2 * 44100, 0.0f);
    const auto quiet = revscRender(used, silence, silence);
    EXPECT_EQ(peak(quiet.left) + peak(quiet.right), 0.0f);
    const std::vector<float> left = noise(44100, 1u), right = noise(44100, 2u);
    revscRender(used, left, right);
    ASSERT_EQ(sp_revsc_init(used.sp(), used.get()), 1);
    const auto a = revscRender(used, left, right), b = revscRender(fresh, left, right);
    EXPECT_EQ(std::pair(a.left, a.right), std::pair(b.left, b.right));
    EXPECT_GT(rms(a.left), 0.005);
}

TEST(SpRevsc, AnImpulseComesBackAfterTheShortestLineAndRingsWithTheFeedback) {
    // Shortest start delays of the sides' lines (6 and 7) in samples, and their drift.
    const double shortestLeft = 2143.0, shortestRight = 1933.0, drift = 0.0017 * 44100.0;
    const std::vector<float> impulse = sigprotest::impulse(3 * 44100), silence(impulse.size(), 0.0f);
    // The other side hears it only through the junction, once a line has output it, after one of its own.
    for (bool fromLeft : {true, false}) {
        const auto out =
            revscRender(Revsc(sp_revsc_init), fromLeft ? impulse : silence, fromLeft ? silence : impulse);
        const auto own = double(onset(fromLeft ? out.left : out.right));
        EXPECT_NEAR(own, fromLeft ? shortestLeft : shortestRight, drift) << fromLeft;
        EXPECT_GE(double(onset(fromLeft ? out.right : out.left)),
                  own + (fromLeft ? shortestRight : shortestLeft) - drift);
    }
    // The tail: level in the third second relative to the first, for three feedback gains.
    auto tail = [&](float feedback) {
        Revsc rev(sp_revsc_init);
        rev->feedback = feedback;
        const auto out = revscRender(rev, impulse, silence);
        return std::pair(rms(out.left, 0, 44100), rms(out.left, 2 * 44100));
    };
    const auto [strongFirst, strongTail] = tail(0.97f);
    const auto [weakFirst, weakTail] = tail(0.6f);
    EXPECT_GT(strongTail / strongFirst, 10.0 * weakTail / weakFirst);
    EXPECT_GT(strongTail, 0.0);
    // The lines are heard only after their feedback gain, so feedback 0 mutes the reverb.
    EXPECT_EQ(tail(0.0f), std::pair(0.0, 0.0));
}

TEST(SpRevsc, TheDampingCutoffDarkensTheTail) {
    const std::vector<float> left = noise(44100, 3u), right = noise(44100, 4u);
    // High-band share (above 5.5 kHz) of the tail's spectrum for a cutoff.
    auto highShare = [&](float cutoff) {
        Revsc rev(sp_revsc_init);
        rev->lowpass_frequency = cutoff;
        const auto out = revscRender(rev, left, right);
        std::size_t n = 22050;
        const auto power = averagedPowerSpectrum([&] { return out.left[n++]; }, 512, 40);
        return bandPower(power, 64, 256) / bandPower(power, 2, 64);
    };
    EXPECT_LT(toDecibels(highShare(1000.0f) / highShare(15000.0f)) / 2.0, -10.0);
}

TEST(SpRevsc, AnUninitialisedReverbIsSilentAndReinitAndComputeNeverAllocate) {
    sigprotest::ContextHandle sp;
    SP_MODULE(revsc) rev;
    float l = 1.0f, r = 1.0f, outL = 5.0f, outR = 5.0f;
    EXPECT_EQ(sp_revsc_compute(sp.get(), rev.get(), &l, &r, &outL, &outR), 0);
    EXPECT_EQ(std::pair(outL, outR), std::pair(0.0f, 0.0f));
    ASSERT_EQ(sp_revsc_init(sp.get(), rev.get()), 1);
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  sp_revsc_init(sp.get(), rev.get());
                  for (int n = 0; n < 8192; ++n) {
                      l = r = float(n % 13) / 13.0f;
                      rev->lowpass_frequency = 4000.0f + float(n % 64);
                      sp_revsc_compute(sp.get(), rev.get(), &l, &r, &outL, &outR);
                  }
              }),
              0u);
}
