#include "Sigpro/modules/sp_diode.h"
#include "Sigpro/modules/sp_lpf18.h"
#include "Sigpro/modules/sp_moogladder.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;

namespace {

using Diode = SP_COMPUTING_MODULE(diode);
using Lpf18 = SP_COMPUTING_MODULE(lpf18);
using Moog = SP_COMPUTING_MODULE(moogladder);

// Small-signal gain in dB of a fresh ladder at `hz`, the input low enough to keep the saturations linear.
template <class Handle>
double ladderDb(int (*init)(sp_data*, typename Handle::Record*),
                const std::function<void(typename Handle::Record*)>& configure, double hz) {
    return testsupport::toDecibels(sigprotest::freshGain<Handle>(init, configure, hz, 0.001));
}

// Settled output of a fresh ladder for a constant input.
template <class Handle>
float ladderSettled(int (*init)(sp_data*, typename Handle::Record*),
                    const std::function<void(typename Handle::Record*)>& configure, float level) {
    sigprotest::Fresh<Handle> f(init);
    if (configure) configure(f.get());
    return f(std::vector<float>(44100, level)).back();
}

double moogDb(float resonance, double hz, float cutoff = 1000.0f) {
    return ladderDb<Moog>(
        sp_moogladder_init,
        [=](sp_moogladder* p) { std::tie(p->resonance, p->frequency) = std::pair(resonance, cutoff); }, hz);
}

double diodeDb(float resonance, float cutoff, double hz) {
    return ladderDb<Diode>(
        sp_diode_init,
        [=](sp_diode* p) { std::tie(p->resonance, p->frequency) = std::pair(resonance, cutoff); }, hz);
}

} // namespace

TEST(SpMoogladder, FourPolesAtTheCutoffAndAResonancePeakThere) {
    // Without resonance: unity at DC, four stages of -3 dB at the cutoff, 24 dB per octave beyond.
    EXPECT_NEAR(ladderSettled<Moog>(
                    sp_moogladder_init, [](sp_moogladder* p) { p->resonance = 0; }, 0.01f),
                0.01f, 1e-5);
    EXPECT_NEAR(moogDb(0.0f, 1000), -12.0, 1.0);
    EXPECT_NEAR(moogDb(0.0f, 4000, 4000.0f), -12.0, 1.5);
    EXPECT_LT(moogDb(0.0f, 4000), moogDb(0.0f, 2000) - 18.0);
    EXPECT_LT(moogDb(0.0f, 2000), moogDb(0.0f, 1000) - 12.0);
    // Strong resonance rises well above the (lowered) passband at the cutoff.
    const double resonant = moogDb(0.95f, 1000);
    EXPECT_GT(resonant, moogDb(0.95f, 100) + 20.0);
    EXPECT_GT(resonant, std::max(moogDb(0.95f, 700), moogDb(0.95f, 1300)));

    // Negative resonance acts as 0.
    sigprotest::Fresh<Moog> negative(sp_moogladder_init), zero(sp_moogladder_init);
    std::tie(negative->resonance, zero->resonance) = std::pair(-1.0f, 0.0f);
    const std::vector<float> input = testsupport::sine(500, 1404.0, 44100.0, 0.5);
    EXPECT_EQ(negative(input), zero(input));
    EXPECT_EQ(std::pair(negative->last_resonance, negative->resonance), std::pair(0.0f, -1.0f));
}

TEST(SpDiode, LowPassWhoseResonancePeaksNearTheCutoff) {
    // Without resonance the feedback is off: unity at DC and a falling response.
    EXPECT_NEAR(ladderSettled<Diode>(sp_diode_init, {}, 0.5f), 0.5f, 1e-5);
    double previous = diodeDb(0.0f, 1000, 20);
    EXPECT_NEAR(previous, 0.0, 0.5);
    for (double hz : {100.0, 500.0, 1000.0, 2000.0, 4000.0}) {
        const double here = diodeDb(0.0f, 1000, hz);
        EXPECT_LT(here, previous) << hz;
        previous = here;
    }
    EXPECT_LT(previous, -60.0);
    EXPECT_GT(diodeDb(0.0f, 4000, 1000), diodeDb(0.0f, 1000, 1000) + 15.0);

    // With resonance the band just below the cutoff stands out above the (lowered) passband.
    double peak = -1000;
    for (double hz = 500; hz <= 1000; hz += 50)
        peak = std::max(peak, diodeDb(0.9f, 1000, hz));
    EXPECT_GT(peak, diodeDb(0.9f, 1000, 50) + 5.0);
    EXPECT_GT(peak, diodeDb(0.9f, 1000, 1500) + 10.0);

    // The feedback gain is 17 times the resonance; the last stage's feedback term is never written.
    sigprotest::Fresh<Diode> d(sp_diode_init);
    d->resonance = 0.5f;
    d(1.0f);
    EXPECT_EQ(std::pair(d->feedback_gain, d->stage_feedback[3]), std::pair(8.5f, 0.0f));
}

TEST(SpLpf18, ThreePolesWithResonanceAndTanhOutput) {
    auto db = [](float resonance, double hz) {
        return ladderDb<Lpf18>(
            sp_lpf18_init,
            [=](sp_lpf18* p) { std::tie(p->resonance, p->distortion) = std::pair(resonance, 0.0f); }, hz);
    };
    EXPECT_NEAR(db(0.0f, 20), 0.0, 0.05);
    EXPECT_LT(db(0.0f, 4000), db(0.0f, 2000) - 15.0);
    EXPECT_GT(db(0.8f, 1000), db(0.8f, 100) + 15.0);

    // Distortion 0 still passes the output through tanh: a settled 2.0 comes out as tanh(2). Distortion d
    // drives it by 1 + d (1.5 + 2 r (1 - 2 f / rate)): with r = 0 and d = 2, by 4.
    EXPECT_NEAR(ladderSettled<Lpf18>(
                    sp_lpf18_init, [](sp_lpf18* p) { p->resonance = p->distortion = 0; }, 2.0f),
                std::tanh(2.0), 1e-5);
    EXPECT_NEAR(ladderSettled<Lpf18>(
                    sp_lpf18_init, [](sp_lpf18* p) { p->resonance = 0; }, 0.1f),
                std::tanh(0.4), 1e-5);

    // However hard it is driven, the output stays inside (-1, 1).
    sigprotest::Fresh<Lpf18> f(sp_lpf18_init);
    EXPECT_LE(testsupport::peak(f(testsupport::sine(20000, 210.0, 44100.0, 100.0))), 1.0f);
}

TEST(SpLadderFilters, ReinitStartsOverAndComputeNeverAllocates) {
    const std::vector<float> input = testsupport::noise(3000, 1u, 0.5f);
    auto frequency = [](auto* p, int n) { p->frequency = 200.0f + float(n); };
    sigprotest::expectModuleLifecycle<Diode>(sp_diode_init, input, {}, frequency);
    sigprotest::expectModuleLifecycle<Moog>(sp_moogladder_init, input, {}, frequency);
    sigprotest::expectModuleLifecycle<Lpf18>(
        sp_lpf18_init, input, {}, [](sp_lpf18* p, int n) { p->resonance = float(n % 10) / 10.0f; });
}
