#include "Sigpro/modules/sp_brown.h"
#include "Sigpro/modules/sp_noise.h"
#include "Sigpro/modules/sp_pinknoise.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

using namespace sigpro;
using sigprotest::ContextHandle;

namespace {

using Noise = SP_COMPUTING_MODULE(noise);
using Brown = SP_COMPUTING_MODULE(brown);
using Pink = SP_COMPUTING_MODULE(pinknoise);

// The context generator's first values from its seed of 0, as floats in [0, 1).
constexpr std::uint32_t noiseFirstDraws[] = {12345u, 1406932606u, 654583775u};
float noiseDraw(int i) {
    return static_cast<float>(noiseFirstDraws[i] / 2147483648.0);
}

// Power in dB of each octave band [lo, 2 lo) of a 1024-point averaged spectrum, lo = 8 ... 256
// (345 Hz to 11 kHz at 44100 Hz), and the mean change from one octave to the next.
std::pair<std::vector<double>, double> noiseOctaves(const std::function<float()>& source) {
    const auto power = testsupport::averagedPowerSpectrum(source, 1024, 64);
    std::vector<double> levels;
    for (std::size_t lo = 8; lo <= 256; lo *= 2)
        levels.push_back(10.0 * std::log10(testsupport::bandPower(power, lo, 2 * lo)));
    return {levels, (levels.back() - levels.front()) / double(levels.size() - 1)};
}

// Largest and smallest of `samples` outputs, computed on the render thread, which must not allocate.
template <class Handle> std::pair<float, float> noiseRange(sp_data* sp, const Handle& module, int samples) {
    float low = 0.0f, high = 0.0f;
    EXPECT_EQ(sigprotest::renderThreadHeapCalls([&] {
                  for (int n = 0; n < samples; ++n) {
                      const float y = module(sp, 0.0f);
                      low = std::min(low, y);
                      high = std::max(high, y);
                  }
              }),
              0u);
    return {low, high};
}

} // namespace

TEST(SpNoise, WhiteNoiseIsUniformAndFlatFromTheSharedGenerator) {
    ContextHandle sp, other;
    Noise noise, second, alone;
    sp_noise_init(sp.get(), noise.get());
    sp_noise_init(sp.get(), second.get());
    sp_noise_init(other.get(), alone.get());
    EXPECT_EQ(noise->amp, 1.0f);
    // Modules on one context interleave its one sequence.
    EXPECT_EQ(noise(sp.get(), 0.0f), 2.0f * noiseDraw(0) - 1.0f);
    EXPECT_EQ(second(sp.get(), 0.0f), 2.0f * noiseDraw(1) - 1.0f);
    EXPECT_EQ(noise(sp.get(), 0.0f), 2.0f * noiseDraw(2) - 1.0f);
    EXPECT_EQ(alone(other.get(), 0.0f), 2.0f * noiseDraw(0) - 1.0f);

    noise->amp = 0.5f;
    const auto [low, high] = noiseRange(sp.get(), noise, 200000);
    EXPECT_GE(low, -0.5f);
    EXPECT_LE(high, 0.5f);
    const std::vector<float> y = noise.generate(sp.get(), 200000);
    EXPECT_NEAR(std::accumulate(y.begin(), y.end(), 0.0) / double(y.size()), 0.0, 0.003);
    // Uniform in [-a, a]: variance a^2 / 3.
    EXPECT_NEAR(std::pow(testsupport::rms(y), 2.0), 0.25 / 3.0, 0.002);
    // Flat: no octave differs from the next by more than a decibel.
    const auto [levels, slope] = noiseOctaves([&] { return noise(sp.get(), 0.0f); });
    for (std::size_t i = 1; i < levels.size(); ++i)
        EXPECT_NEAR(levels[i], levels[i - 1], 1.0) << i;
}

TEST(SpBrown, RandomWalkStaysInsideItsBoundsAndFallsSixDecibelsPerOctave) {
    sigprotest::Fresh<Brown> brown(sp_brown_init);
    const float step = (2.0f * noiseDraw(0) - 1.0f) * 0.5f;
    EXPECT_EQ(brown(0.0f), step * 0.0625f);
    EXPECT_EQ(brown->level, step);
    // The walk reaches out to its bounds and never beyond.
    const auto [low, high] = noiseRange(brown.sp(), brown, 1000000);
    EXPECT_TRUE(low >= -0.5f && low < -0.45f) << low;
    EXPECT_TRUE(high <= 0.5f && high > 0.45f) << high;
    EXPECT_NEAR(noiseOctaves([&] { return brown(0.0f); }).second, -6.0, 0.75);
}

TEST(SpPinknoise, SeededOnceFromTheContextThenItsOwnGenerator) {
    ContextHandle sp, twinContext;
    Pink pink, twin, later;
    sp_pinknoise_init(sp.get(), pink.get());
    EXPECT_EQ(std::pair(pink->seed, pink->amplitude), std::pair(noiseFirstDraws[0], 1.0f));
    pink.generate(sp.get(), 100);
    // Computing drew nothing more from the context.
    EXPECT_EQ(sp_rand(sp.get()), noiseFirstDraws[1]);

    // The same seed gives the same sequence; a module seeded later on the context gives another.
    sp_pinknoise_init(twinContext.get(), twin.get());
    sp_pinknoise_init(twinContext.get(), later.get());
    sp_pinknoise_init(sp.get(), pink.get());
    pink->seed = noiseFirstDraws[0];
    const auto a = pink.generate(sp.get(), 1000), c = later.generate(twinContext.get(), 1000);
    EXPECT_EQ(a, twin.generate(twinContext.get(), 1000));
    EXPECT_GT(std::inner_product(a.begin(), a.end(), c.begin(), 0, std::plus<>(), std::not_equal_to<>()),
              900);

    // The counter skips 0xFFFFFFFF.
    pink->counter = 0xFFFFFFFEu;
    pink(sp.get(), 0.0f);
    EXPECT_EQ(pink->counter, 0u);
}

TEST(SpPinknoise, BoundedAndFallingThreeDecibelsPerOctave) {
    sigprotest::Fresh<Pink> pink(sp_pinknoise_init);
    pink->amplitude = 0.0f;
    EXPECT_EQ(pink.generate(100), std::vector<float>(100, 0.0f));
    pink->amplitude = 0.5f;
    const auto [low, high] = noiseRange(pink.sp(), pink, 500000);
    EXPECT_TRUE(low >= -1.0000305f * 0.5f && high <= 0.5f) << low << " " << high;
    pink->amplitude = 1.0f;
    const auto [levels, slope] = noiseOctaves([&] { return pink(0.0f); });
    for (std::size_t i = 1; i < levels.size(); ++i)
        EXPECT_NEAR(levels[i] - levels[i - 1], -3.0, 1.0) << i;
    EXPECT_NEAR(slope, -3.0, 0.4);
}
