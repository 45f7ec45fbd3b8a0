#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "Sigpro/modules/sp_brown.h"
#include "Sigpro/modules/sp_noise.h"
#include "Sigpro/modules/sp_pinknoise.h"
#include "tests/Sigpro/modules/ModuleHandle.h"
#include "tests/support/Signals.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using NoiseHandle = sigprotest::ModuleHandle<sp_noise, sp_noise_create, sp_noise_destroy>;
using BrownHandle = sigprotest::ModuleHandle<sp_brown, sp_brown_create, sp_brown_destroy>;
using PinkHandle = sigprotest::ModuleHandle<sp_pinknoise, sp_pinknoise_create, sp_pinknoise_destroy>;

// The context generator's first values from its seed of 0.
constexpr std::uint32_t noiseFirstDraws[] = {12345u, 1406932606u, 654583775u};

// Power in dB of each octave band [lo, 2 lo) of a 1024-point averaged spectrum, lo = 8 ... 256
// (345 Hz to 11 kHz at 44100 Hz).
std::vector<double> noiseOctaveLevels(const std::function<float()>& source) {
    const auto power = testsupport::averagedPowerSpectrum(source, 1024, 64);
    std::vector<double> levels;
    for (std::size_t lo = 8; lo <= 256; lo *= 2)
        levels.push_back(10.0 * std::log10(testsupport::bandPower(power, lo, 2 * lo)));
    return levels;
}

} // namespace

TEST(SpNoise, WhiteNoiseDrawsUniformValuesFromTheContextGenerator) {
    ContextHandle sp;
    NoiseHandle noise;
    sp_noise_init(sp.get(), noise.get());
    EXPECT_EQ(noise->amp, 1.0f);
    for (std::uint32_t draw : noiseFirstDraws) {
        float y;
        sp_noise_compute(sp.get(), noise.get(), nullptr, &y);
        const auto r = static_cast<float>(draw / 2147483648.0);
        EXPECT_EQ(y, 2.0f * r - 1.0f);
    }

    noise->amp = 0.5f;
    double sum = 0, squares = 0;
    const int count = 200000;
    for (int n = 0; n < count; ++n) {
        float y;
        sp_noise_compute(sp.get(), noise.get(), nullptr, &y);
        ASSERT_GE(y, -0.5f);
        ASSERT_LE(y, 0.5f);
        sum += y;
        squares += double(y) * y;
    }
    EXPECT_NEAR(sum / count, 0.0, 0.003);
    // Uniform in [-a, a]: variance a^2 / 3.
    EXPECT_NEAR(squares / count, 0.25 / 3.0, 0.002);

    // Flat: no octave differs from the next by more than a decibel.
    const auto levels = noiseOctaveLevels([&] {
        float y;
        sp_noise_compute(sp.get(), noise.get(), nullptr, &y);
        return y;
    });
    for (std::size_t i = 1; i < levels.size(); ++i)
        EXPECT_NEAR(levels[i], levels[i - 1], 1.0) << i;
}

TEST(SpNoise, ModulesOnOneContextShareOneSequence) {
    ContextHandle shared, other;
    NoiseHandle first, second, alone;
    sp_noise_init(shared.get(), first.get());
    sp_noise_init(shared.get(), second.get());
    sp_noise_init(other.get(), alone.get());
    float a, b, c;
    sp_noise_compute(shared.get(), first.get(), nullptr, &a);
    sp_noise_compute(shared.get(), second.get(), nullptr, &b);
    sp_noise_compute(other.get(), alone.get(), nullptr, &c);
    EXPECT_EQ(a, c);
    EXPECT_EQ(b, 2.0f * static_cast<float>(noiseFirstDraws[1] / 2147483648.0) - 1.0f);
    sp_noise_compute(other.get(), alone.get(), nullptr, &c);
    EXPECT_EQ(b, c);
}

TEST(SpBrown, RandomWalkStaysInsideItsBoundsAndFallsSixDecibelsPerOctave) {
    ContextHandle sp;
    BrownHandle brown;
    sp_brown_init(sp.get(), brown.get());
    float y;
    sp_brown_compute(sp.get(), brown.get(), nullptr, &y);
    const float step =
        (2.0f * (static_cast<float>(noiseFirstDraws[0]) * (1.0f / 2147483648.0f)) - 1.0f) * 0.5f;
    EXPECT_EQ(brown->level, step);
    EXPECT_EQ(y, step * 0.0625f);

    float low = 0, high = 0;
    for (int n = 0; n < 1000000; ++n) {
        sp_brown_compute(sp.get(), brown.get(), nullptr, &y);
        ASSERT_GE(y, -0.5f);
        ASSERT_LE(y, 0.5f);
        low = std::min(low, y);
        high = std::max(high, y);
    }
    // The walk does reach out to its bounds.
    EXPECT_LT(low, -0.45f);
    EXPECT_GT(high, 0.45f);

    const auto levels = noiseOctaveLevels([&] {
        sp_brown_compute(sp.get(), brown.get(), nullptr, &y);
        return y;
    });
    const double slope = (levels.back() - levels.front()) / double(levels.size() - 1);
    EXPECT_NEAR(slope, -6.0, 0.75);
}

TEST(SpPinknoise, SeededOnceFromTheContextThenItsOwnGenerator) {
    ContextHandle sp;
    PinkHandle pink;
    sp_pinknoise_init(sp.get(), pink.get());
    EXPECT_EQ(pink->seed, noiseFirstDraws[0]);
    EXPECT_EQ(pink->amplitude, 1.0f);
    float y;
    for (int n = 0; n < 100; ++n)
        sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &y);
    // Computing drew nothing more from the context.
    EXPECT_EQ(sp_rand(sp.get()), noiseFirstDraws[1]);

    // The same seed gives the same sequence; a module seeded later on the context gives another.
    ContextHandle twinContext;
    PinkHandle twin, later;
    sp_pinknoise_init(twinContext.get(), twin.get());
    sp_pinknoise_init(twinContext.get(), later.get());
    sp_pinknoise_init(sp.get(), pink.get());
    pink->seed = noiseFirstDraws[0];
    int differences = 0;
    for (int n = 0; n < 1000; ++n) {
        float a, b, c;
        sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &a);
        sp_pinknoise_compute(twinContext.get(), twin.get(), nullptr, &b);
        sp_pinknoise_compute(twinContext.get(), later.get(), nullptr, &c);
        ASSERT_EQ(a, b);
        if (a != c) ++differences;
    }
    EXPECT_GT(differences, 900);

    // The counter skips 0xFFFFFFFF.
    pink->counter = 0xFFFFFFFEu;
    sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &y);
    EXPECT_EQ(pink->counter, 0u);
}

TEST(SpPinknoise, BoundedAndFallingThreeDecibelsPerOctave) {
    ContextHandle sp;
    PinkHandle pink;
    sp_pinknoise_init(sp.get(), pink.get());
    float y;
    pink->amplitude = 0.0f;
    for (int n = 0; n < 100; ++n) {
        sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &y);
        ASSERT_EQ(y, 0.0f);
    }
    pink->amplitude = 0.5f;
    for (int n = 0; n < 500000; ++n) {
        sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &y);
        ASSERT_GE(y, -1.0000305f * 0.5f);
        ASSERT_LE(y, 0.5f);
    }

    pink->amplitude = 1.0f;
    const auto levels = noiseOctaveLevels([&] {
        sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &y);
        return y;
    });
    for (std::size_t i = 1; i < levels.size(); ++i)
        EXPECT_NEAR(levels[i] - levels[i - 1], -3.0, 1.0) << i;
    const double slope = (levels.back() - levels.front()) / double(levels.size() - 1);
    EXPECT_NEAR(slope, -3.0, 0.4);
}

TEST(SpNoiseModules, ComputeNeverAllocates) {
    ContextHandle sp;
    NoiseHandle noise;
    BrownHandle brown;
    PinkHandle pink;
    sp_noise_init(sp.get(), noise.get());
    sp_brown_init(sp.get(), brown.get());
    sp_pinknoise_init(sp.get(), pink.get());
    EXPECT_EQ(sigprotest::renderThreadAllocations([&] {
                  for (int n = 0; n < 256; ++n) {
                      float y;
                      sp_noise_compute(sp.get(), noise.get(), nullptr, &y);
                      sp_brown_compute(sp.get(), brown.get(), nullptr, &y);
                      sp_pinknoise_compute(sp.get(), pink.get(), nullptr, &y);
                  }
              }),
              0u);
}
