#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEru/Internals/DSPSplitComplex.h"
#include "RozezEru/Internals/Downsampling.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEru/Internals/NoteConversions.h"
#include "RozezEru/Internals/Occupiable.h"
#include "RozezEru/Internals/RangeMapping.h"
#include "RozezEru/Internals/TitleCase.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <numeric>
#include <string>
#include <vector>

using namespace rozezeru;

TEST(NoteConversions, OctavesAroundTheReference) {
    EXPECT_EQ(noteToFrequency(69, 440), 440.0f);
    EXPECT_EQ(noteToFrequency(81, 440), 880.0f);
    EXPECT_EQ(noteToFrequency(57, 440), 220.0f);
    EXPECT_EQ(noteToFrequency(69, 432), 432.0f);
    EXPECT_NEAR(noteToFrequency(60.5f, 440), 440.0f * std::pow(2.0f, -8.5f / 12.0f), 1e-3f);
    // A byte note number counts from 0 to 255.
    std::uint8_t high = 200;
    EXPECT_NEAR(noteToFrequency(high, 440), 440.0f * std::pow(2.0f, 131.0f / 12.0f), 1.0f);

    EXPECT_EQ(frequencyToNote(880, 440), 81.0f);
    EXPECT_EQ(frequencyToNote(220, 440), 57.0f);
    // Not rounded to a whole note.
    float bFlat = frequencyToNote(466.16f, 440);
    EXPECT_NEAR(bFlat, 70.0f, 1e-3f);
    EXPECT_NE(bFlat, 70.0f);
    EXPECT_NEAR(frequencyToNote(noteToFrequency(33.25f, 440), 440), 33.25f, 1e-4f);
}

TEST(RangeMapping, LinearLogarithmicAndExponential) {
    EXPECT_DOUBLE_EQ(mapLinear(5.0, {0, 10}, {100, 200}), 150.0);
    EXPECT_DOUBLE_EQ(mapLinear(15.0, {0, 10}, {100, 200}), 250.0);
    EXPECT_DOUBLE_EQ(mapLinear(5.0, {0, 10}, {200, 100}), 150.0);
    EXPECT_DOUBLE_EQ(mapLinearInverted(2.0, {0, 10}, {0, 1}), 0.8);
    EXPECT_DOUBLE_EQ(mapLinearInverted(2.0, {0, 10}, {10, 20}), 18.0);

    EXPECT_DOUBLE_EQ(mapLog10(100.0, {10, 1000}, {0, 1}), 0.5);
    EXPECT_DOUBLE_EQ(mapLog10(1000.0, {10, 1000}, {20, 40}), 40.0);
    // A negative value has no logarithm: 0. Zero's logarithm is −infinity, which passes through.
    EXPECT_EQ(mapLog10(-5.0, {10, 1000}, {0, 1}), 0.0);
    EXPECT_EQ(mapLog10(0.0, {10, 1000}, {0, 1}), -std::numeric_limits<double>::infinity());

    EXPECT_NEAR(mapExponential(0.5, {0, 1}, {20, 20000}), std::sqrt(20.0 * 20000.0), 1e-9);
    EXPECT_NEAR(mapExponential(1.0, {0, 1}, {20, 20000}), 20000.0, 1e-9);
    EXPECT_NEAR(mapExponential(0.0, {0, 1}, {20, 20000}), 20.0, 1e-12);

    // Integers: the differences are taken first, the division is not an integer one.
    EXPECT_DOUBLE_EQ(mapLinear(3, {0, 4}, {0.0, 1.0}), 0.75);
    EXPECT_DOUBLE_EQ(mapLinear(std::int64_t{-2}, {-4, 4}, {0.0, 8.0}), 2.0);
}

TEST(RangeMapping, NormalisingWithATaper) {
    EXPECT_FLOAT_EQ(normalizedInRange(5, {0, 10}), 0.5f);
    EXPECT_FLOAT_EQ(normalizedInRange(5, {0, 10}, 2), std::sqrt(0.5f));
    EXPECT_FLOAT_EQ(normalizedInRange(300, {100, 500}, 0.5f), 0.25f);
    EXPECT_FLOAT_EQ(denormalizedToRange(0.5f, {100, 500}), 300.0f);
    EXPECT_FLOAT_EQ(denormalizedToRange(0.5f, {100, 500}, 2), 200.0f);
    for (float value : {0.0f, 120.0f, 333.0f, 500.0f})
        EXPECT_NEAR(denormalizedToRange(normalizedInRange(value, {0, 500}, 3), {0, 500}, 3), value, 1e-3f);
}

TEST(Downsampling, MeansOfPairsUpToTheRequestedCount) {
    std::vector<float> ten(10);
    std::iota(ten.begin(), ten.end(), 0.0f);

    // Factor 2: five outputs, the last pair (8, 9) included.
    EXPECT_EQ(downsampled(ten, 5), (std::vector<float>{0.5f, 2.5f, 4.5f, 6.5f, 8.5f}));
    // Factor 3: pairs at 0, 3 and 6.
    EXPECT_EQ(downsampled(ten, 3), (std::vector<float>{0.5f, 3.5f, 6.5f}));
    EXPECT_EQ(downsampled(ten, 1), (std::vector<float>{0.5f}));
    // Not a divisor: the factor is rounded down, every pair that fits is used.
    EXPECT_EQ(downsampled(ten, 4), (std::vector<float>{0.5f, 2.5f, 4.5f, 6.5f, 8.5f}));

    std::vector<float> eleven(11);
    std::iota(eleven.begin(), eleven.end(), 0.0f);
    EXPECT_EQ(downsampled(eleven, 5), (std::vector<float>{0.5f, 2.5f, 4.5f, 6.5f, 8.5f}));
    std::vector<float> three{1, 3, 100};
    EXPECT_EQ(downsampled(three, 1), (std::vector<float>{2.0f}));
}

TEST(Downsampling, InputsOutsideTheUsualLimits) {
    std::vector<float> ten(10);
    std::iota(ten.begin(), ten.end(), 0.0f);
    // As many outputs as samples, or more: every neighbouring pair, nothing read past the end.
    EXPECT_EQ(downsampled(ten, 10).size(), 9u);
    auto stretched = downsampled(ten, 1000);
    ASSERT_EQ(stretched.size(), 9u);
    EXPECT_EQ(stretched.back(), 8.5f);

    EXPECT_TRUE(downsampled(ten, 0).empty());
    EXPECT_TRUE(downsampled(ten, -3).empty());
    EXPECT_TRUE(downsampled(std::vector<float>{1.0f}, 1).empty());
    EXPECT_TRUE(downsampled(std::vector<float>{}, 1).empty());
    EXPECT_EQ(downsampled(std::vector<float>{1.0f, 2.0f}, 5), (std::vector<float>{1.5f}));
}

TEST(FourCC, FirstCharacterInTheHighestByte) {
    static_assert(fourCC("aumf") == 0x61756D66);
    EXPECT_EQ(fourCC("aumf"), 0x61756D66u);
    EXPECT_EQ(fourCC("RoRo"), 0x526F526Fu);
    EXPECT_EQ(fourCC("\xC3\xA9"
                     "ab"),
              0xC3A96162u);
}

TEST(FourCCDeathTest, OtherLengthsStopTheProgram) {
    EXPECT_DEATH(fourCC("abc"), "\"abc\" is 3 bytes long, not 4");
    EXPECT_DEATH(fourCC("abcde"), "\"abcde\" is 5 bytes long, not 4");
}

TEST(TitleCase, WordsFromCamelCase) {
    EXPECT_EQ(titleCasedFromCamelCase("cutoffFrequency"), "Cutoff Frequency");
    EXPECT_EQ(titleCasedFromCamelCase("URL"), "U R L");
    EXPECT_EQ(titleCasedFromCamelCase("dryWetMix"), "Dry Wet Mix");
    EXPECT_EQ(titleCasedFromCamelCase("gain"), "Gain");
    EXPECT_EQ(titleCasedFromCamelCase(""), "");
    EXPECT_EQ(titleCasedFromCamelCase(" \t\n"), "");
    // Trimmed at the ends only; inner white space stays.
    EXPECT_EQ(titleCasedFromCamelCase("  spaced  outText\n"), "Spaced  Out Text");
    EXPECT_EQ(titleCasedFromCamelCase("half3dEffect"), "Half3d Effect");
    // Bytes beyond ASCII are left as they are.
    EXPECT_EQ(titleCasedFromCamelCase("grüneWiese"), "Grüne Wiese");
}

TEST(SmallHelpers, SplitComplexFlagsAndEmptiness) {
    DSPSplitComplex work(0.0f, 513);
    EXPECT_EQ(work.realp, std::vector<float>(513, 0.0f));
    EXPECT_EQ(work.imagp, std::vector<float>(513, 0.0f));
    DSPSplitComplex scale(1.0f / 512, 0.0f, 1);
    EXPECT_EQ(scale.realp, std::vector<float>{1.0f / 512});
    EXPECT_EQ(scale.imagp, std::vector<float>{0.0f});
    EXPECT_TRUE(DSPSplitComplex(2.0f, 0).realp.empty());

    // Readable, writable, can ramp.
    EXPECT_EQ(AudioUnitParameterOptions::default_, 0xC2000000u);

    EXPECT_TRUE(isNotEmpty(std::string("a")));
    EXPECT_FALSE(isNotEmpty(std::string()));
    EXPECT_FALSE(isNotEmpty(std::vector<int>()));
    EXPECT_TRUE(isNotEmpty(std::map<int, int>{{1, 2}}));
}
