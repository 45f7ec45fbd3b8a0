#include "Sigpro/modules/sp_mincer.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using namespace testsupport;
using sigprotest::ContextHandle;
using sigprotest::Table;

namespace {

using Mincer = SP_COMPUTING_MODULE(mincer);

// `samples` outputs with `time` advanced by `speed` seconds per second (0 holds it).
std::vector<float> mincerRender(sp_data* sp, const Mincer& m, std::size_t samples, double speed) {
    std::vector<float> y(samples);
    const double start = m->time;
    for (std::size_t i = 0; i < y.size(); ++i) {
        m->time = static_cast<float>(start + speed * double(i) / 44100.0);
        y[i] = m(sp, 0.0f);
    }
    return y;
}

// A table of a sine at `hz` over whole periods, so that it loops seamlessly.
Table mincerSineTable(sp_data* sp, double hz, double seconds) {
    return Table(sp, std::size_t(44100 * seconds),
                 [hz](std::size_t i) { return std::sin(2.0 * std::numbers::pi * hz * double(i) / 44100.0); });
}

} // namespace

TEST(SpMincer, DefaultsAndAConstantTableComesOutAtTwoThirdsOfTheWindowSumTimesTheAmplitude) {
    // Every frame is a Hann window of ones, and four overlapping squared windows sum to 1.5; the scale
    // 2/3 x amp brings it back to amp.
    ContextHandle sp;
    Table table(sp.get(), 8192, [](std::size_t) { return 1.0; });
    for (float amp : {1.0f, 0.5f}) {
        sigprotest::Fresh<Mincer> m(sp_mincer_init, table.get(), 1024);
        EXPECT_EQ((std::vector{m->time, m->amp, m->pitch, m->lock}), (std::vector{0.0f, 1.0f, 1.0f, 1.0f}));
        std::tie(m->amp, m->time) = std::pair(amp, 0.05f);
        const auto y = mincerRender(m.sp(), m, 4096, 1.0);
        EXPECT_EQ(y[0], 0.0f); // the ring starts empty and the window starts at 0
        EXPECT_LT(y[100], 0.5f * amp);
        for (std::size_t i = 1024; i < y.size(); ++i)
            ASSERT_NEAR(y[i], amp, 2e-4f) << i;
    }
    Table sine = mincerSineTable(sp.get(), 440.0, 1.0);
    sigprotest::expectModuleLifecycle<Mincer>(
        [&](sp_data* context, sp_mincer* p) { return sp_mincer_init(context, p, sine.get(), 2048); },
        std::vector<float>(3000, 0.0f), [](sp_mincer* p) { p->pitch = 3.0f; },
        [](sp_mincer* p, int n) { p->time = float(n) / 44100.0f; });
}

TEST(SpMincer, PitchOneInRealTimeKeepsTheFrequencyAndPitchTwoDoublesIt) {
    ContextHandle sp;
    Table table = mincerSineTable(sp.get(), 440.0, 2.0);
    for (float lock : {1.0f, 0.0f}) {
        for (float pitch : {1.0f, 2.0f, 0.5f}) {
            sigprotest::Fresh<Mincer> m(sp_mincer_init, table.get(), 2048);
            std::tie(m->pitch, m->lock) = std::pair(pitch, lock);
            const auto y = mincerRender(m.sp(), m, 44100, 1.0);
            // A clean tone at about the source's level, nothing left at the source frequency.
            const double hz = 440.0 * pitch;
            EXPECT_NEAR(zeroCrossingFrequency(y, 4096, 44100.0), hz, 0.002 * hz) << pitch << " lock " << lock;
            EXPECT_NEAR(toneAmplitude(y, 44100.0, hz, 4096), 1.0, 0.1) << pitch << " lock " << lock;
            if (pitch != 1.0f) {
                EXPECT_LT(toneAmplitude(y, 44100.0, 440.0, 4096), 0.02);
            }
        }
    }
}

TEST(SpMincer, AHeldTimeFreezesTheSound) {
    ContextHandle sp;
    Table table = mincerSineTable(sp.get(), 330.0, 1.0);
    sigprotest::Fresh<Mincer> m(sp_mincer_init, table.get(), 2048);
    m->time = 0.3f;
    const auto y = mincerRender(m.sp(), m, 44100, 0.0);
    // The same grains at every hop; only the phase moves on: a steady tone at the source frequency.
    EXPECT_NEAR(zeroCrossingFrequency(y, 4096, 44100.0), 330.0, 1.0);
    const double early =
        toneAmplitude(std::vector<float>(y.begin() + 4096, y.begin() + 8192), 44100.0, 330.0);
    EXPECT_NEAR(early, 1.0, 0.1);
    EXPECT_NEAR(toneAmplitude(std::vector<float>(y.end() - 4096, y.end()), 44100.0, 330.0), early,
                0.02 * early);
}

TEST(SpMincer, ATimeBeyondTheTableWrapsToItsStartAndOneNotFiniteReadsTheStart) {
    ContextHandle sp;
    // A chirp, so that every position sounds different; 2^16 points, a multiple of the hop.
    Table table(sp.get(), 65536, [](std::size_t i) {
        const double t = double(i) / 44100.0;
        return std::sin(2.0 * std::numbers::pi * (200.0 * t + 400.0 * t * t));
    });
    auto frozenAt = [&](double seconds) {
        sigprotest::Fresh<Mincer> m(sp_mincer_init, table.get(), 1024);
        m->time = static_cast<float>(seconds);
        return mincerRender(m.sp(), m, 4096, 0.0);
    };
    // 0.2 s is 8820 samples, 34.45 hops of 256: well inside a hop, so the truncation is unambiguous.
    const auto inside = frozenAt(0.2);
    for (int turns : {1, 2}) {
        EXPECT_THAT(frozenAt(0.2 + turns * 65536.0 / 44100.0), sigprotest::samplesNear(inside, 1e-6f))
            << turns;
    }
    const auto elsewhere = frozenAt(0.5);
    double difference = 0;
    for (std::size_t i = 0; i < inside.size(); ++i)
        difference = std::max(difference, double(std::fabs(inside[i] - elsewhere[i])));
    EXPECT_GT(difference, 0.1);
    for (float bad : {NAN, INFINITY, -1e30f})
        EXPECT_TRUE(sigprotest::allFinite(frozenAt(bad))) << bad;
}

TEST(SpMincer, RefusesSizesThatAreNotPowersOfTwoAndEmptyTables) {
    ContextHandle sp;
    Table table(sp.get(), 100, [](std::size_t i) { return double(i % 7) - 3.0; });
    for (int size : {0, 4, 1000, -2048, 3 << 20}) {
        Mincer m;
        StderrCapture err;
        EXPECT_EQ(sp_mincer_init(sp.get(), m.get(), table.get(), size), 0) << size;
        EXPECT_EQ(err.text().rfind("sp_mincer: ", 0), 0u) << err.text();
        EXPECT_EQ(m.generate(sp.get(), 600), std::vector<float>(600, 0.0f));
    }
    Mincer m;
    StderrCapture err;
    EXPECT_EQ(sp_mincer_init(sp.get(), m.get(), nullptr, 1024), 0);
    EXPECT_EQ(err.text(), "sp_mincer: the table is empty\n");
    // The smallest size works, with a table shorter than a frame.
    Table tiny(sp.get(), 3, [](std::size_t i) { return double(i); });
    ASSERT_EQ(sp_mincer_init(sp.get(), m.get(), tiny.get(), 8), 1);
    EXPECT_TRUE(sigprotest::allFinite(m.generate(sp.get(), 100)));
}
