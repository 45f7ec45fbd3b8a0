#include "RozezEru/Internals/AudioUnitHelpers.h"
#include "RozezEru/Internals/AudioUnitParameterOptions.h"
#include "RozezEru/Internals/DSPSplitComplex.h"
#include "RozezEru/Internals/Downsampling.h"
#include "RozezEru/Internals/FourCC.h"
#include "RozezEru/Internals/MIDIControl.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/MusicalDuration.h"
#include "RozezEru/Internals/NoteConversions.h"
#include "RozezEru/Internals/Occupiable.h"
#include "RozezEru/Internals/RangeMapping.h"
#include "RozezEru/Internals/TitleCase.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnitNode.h"
#include "tests/platform/audio/GainTestUnit.h"

#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Signals.h"

using namespace rozezeru;

TEST(NoteConversions, OctavesAroundTheReference) {
    for (auto [note, reference, hz] :
         {std::tuple{69, 440, 440.0f}, {81, 440, 880.0f}, {57, 440, 220.0f}, {69, 432, 432.0f}}) {
        EXPECT_EQ(noteToFrequency(float(note), float(reference)), hz);
        EXPECT_EQ(frequencyToNote(hz, float(reference)), float(note));
    }
    EXPECT_NEAR(noteToFrequency(60.5f, 440), 440.0f * std::pow(2.0f, -8.5f / 12.0f), 1e-3f);
    // A byte note number counts from 0 to 255.
    std::uint8_t high = 200;
    EXPECT_NEAR(noteToFrequency(high, 440), 440.0f * std::pow(2.0f, 131.0f / 12.0f), 1.0f);

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

TEST(Downsampling, MeansOfPairsUpToTheRequestedCountAndNothingPastTheEnd) {
    const auto ten = testsupport::ramp(10, 0.0f, 1.0f);
    // Factor 2: five outputs, the last pair (8, 9) included.
    EXPECT_EQ(downsampled(ten, 5), (std::vector<float>{0.5f, 2.5f, 4.5f, 6.5f, 8.5f}));
    // Factor 3: pairs at 0, 3 and 6.
    EXPECT_EQ(downsampled(ten, 3), (std::vector<float>{0.5f, 3.5f, 6.5f}));
    EXPECT_EQ(downsampled(ten, 1), (std::vector<float>{0.5f}));
    // Not a divisor: the factor is rounded down, every pair that fits is used.
    EXPECT_EQ(downsampled(ten, 4), (std::vector<float>{0.5f, 2.5f, 4.5f, 6.5f, 8.5f}));

    EXPECT_EQ(downsampled(testsupport::ramp(11, 0.0f, 1.0f), 5),
              (std::vector<float>{0.5f, 2.5f, 4.5f, 6.5f, 8.5f}));
    EXPECT_EQ(downsampled(std::vector<float>{1, 3, 100}, 1), (std::vector<float>{2.0f}));
    // As many outputs as samples, or more: every neighbouring pair, nothing read past the end.
    EXPECT_EQ(downsampled(ten, 10),
              (std::vector<float>{0.5f, 1.5f, 2.5f, 3.5f, 4.5f, 5.5f, 6.5f, 7.5f, 8.5f}));
    EXPECT_EQ(downsampled(ten, 1000), downsampled(ten, 10));
    for (int count : {0, -3})
        EXPECT_TRUE(downsampled(ten, count).empty()) << count;
    for (std::size_t size : {0u, 1u})
        EXPECT_TRUE(downsampled(std::vector<float>(size, 1.0f), 1).empty()) << size;
    EXPECT_EQ(downsampled(std::vector<float>{1.0f, 2.0f}, 5), (std::vector<float>{1.5f}));
}

TEST(FourCC, FirstCharacterInTheHighestByte) {
    static_assert(fourCC("aumf") == 0x61756D66);
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
    // Trimmed at the ends only, inner white space kept; bytes beyond ASCII left as they are.
    for (auto [camel, title] : {std::pair{"cutoffFrequency", "Cutoff Frequency"},
                                {"URL", "U R L"},
                                {"dryWetMix", "Dry Wet Mix"},
                                {"gain", "Gain"},
                                {"", ""},
                                {" \t\n", ""},
                                {"  spaced  outText\n", "Spaced  Out Text"},
                                {"half3dEffect", "Half3d Effect"},
                                {"grüneWiese", "Grüne Wiese"}})
        EXPECT_EQ(titleCasedFromCamelCase(camel), title);
}

TEST(SmallHelpers, SplitComplexFlagsAndEmptiness) {
    DSPSplitComplex work(0.0f, 513);
    EXPECT_EQ(std::pair(work.realp, work.imagp), std::pair(std::vector<float>(513), std::vector<float>(513)));
    DSPSplitComplex scale(1.0f / 512, 0.0f, 1);
    EXPECT_EQ(std::pair(scale.realp, scale.imagp), std::pair(std::vector{1.0f / 512}, std::vector{0.0f}));
    EXPECT_TRUE(DSPSplitComplex(2.0f, 0).realp.empty());

    // Readable, writable, can ramp.
    EXPECT_EQ(AudioUnitParameterOptions::default_, 0xC2000000u);

    EXPECT_EQ((std::vector{isNotEmpty(std::string("a")), isNotEmpty(std::string()),
                           isNotEmpty(std::vector<int>()), isNotEmpty(std::map<int, int>{{1, 2}})}),
              (std::vector{true, false, false, true}));
}

TEST(MemoryAddress, EighteenCharactersOfZeroPaddedHexadecimal) {
    for (auto [address, text] : {std::pair<std::uintptr_t, const char*>{0x7ff7b4c0a8f0, "0x00007ff7b4c0a8f0"},
                                 {0, "0x0000000000000000"},
                                 {0x10, "0x0000000000000010"},
                                 {0xffff8000deadbeefu, "0xffff8000deadbeef"}})
        EXPECT_EQ(MemoryAddress::addressString(reinterpret_cast<const void*>(address)), text);
    // The top bit set: negative as the signed integer the record holds, the same text.
    MemoryAddress high(reinterpret_cast<const void*>(std::uintptr_t(0xffff8000deadbeefu)));
    EXPECT_LT(high.opaquePointerAddress, 0);
    EXPECT_EQ(high.description(), "0xffff8000deadbeef");
    int first = 0, second = 0;
    EXPECT_NE(MemoryAddress::addressString(&second), MemoryAddress(&first).description());
}

TEST(MusicalDuration, RawValuesTheirTableAndWrappingSteps) {
    for (int raw : {-1, 12, 100})
        EXPECT_FALSE(musicalDurationFromRawValue(raw).has_value()) << raw;
    EXPECT_EQ(std::pair(wholeNoteFraction(MusicalDuration::thirtysecond),
                        std::string(displayText(MusicalDuration::thirtysecond))),
              std::pair(0.03125, std::string("1/32")));
    EXPECT_EQ(std::string(displayText(MusicalDuration::quarterDotted)), "1/4 D");
    EXPECT_EQ(std::string(displayText(MusicalDuration::wholeDotted)), "1 D");
    // Plain and dotted values alternate from the thirty-second up; each plain value doubles the one before,
    // its dotted value is half as long again and reads the same with " D".
    for (int raw = 0; raw < 12; ++raw) {
        const auto duration = allMusicalDurations[raw];
        EXPECT_EQ(musicalDurationFromRawValue(raw), duration);
        const auto plain = allMusicalDurations[raw / 2 * 2];
        EXPECT_EQ(wholeNoteFraction(duration), 0.03125 * (1 << raw / 2) * (raw % 2 ? 1.5 : 1.0)) << raw;
        if (raw % 2) {
            EXPECT_EQ(std::string(displayText(duration)), std::string(displayText(plain)) + " D");
        }
        EXPECT_EQ(next(duration), allMusicalDurations[(raw + 1) % 12]);
        EXPECT_EQ(previous(duration), allMusicalDurations[(raw + 11) % 12]);
    }
}

TEST(InstantiateSynchronously, MakesTheMatchingUnitOrStops) {
    platform::AudioComponentRegistry registry;
    registry.registerComponent(unittest::GainTestUnit::effectDescription(), "Gain", 1,
                               [](const platform::AudioComponentDescription& description) {
                                   return std::make_unique<unittest::GainTestUnit>(description);
                               });
    auto node = rozezeru::instantiateSynchronously(unittest::GainTestUnit::effectDescription(), registry);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->auAudioUnit().componentDescription(), unittest::GainTestUnit::effectDescription());
    EXPECT_EQ(node->engine(), nullptr);

    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        (void)rozezeru::instantiateSynchronously(unittest::GainTestUnit::generatorDescription(), registry),
        "^Unable to instantiate AVAudioUnit\n$");
}

TEST(ParameterForKey, FindsAParameterOfATreeByIdentifier) {
    unittest::GainTestUnit unit;
    EXPECT_EQ(rozezeru::parameter(unit, "gain"), unit.parameterTree()->parameterWithAddress(0));
    EXPECT_EQ(rozezeru::parameter(unit, "Gain"), nullptr);
    unit.setParameterTree(nullptr);
    EXPECT_EQ(rozezeru::parameter(unit, "gain"), nullptr);
}

TEST(MIDIControl, NamesByControllerNumber) {
    // "number:text|..." as the controller tables give them.
    const std::string given =
        "1:Modulation Wheel|2:Breath Control|8:Balance|10:Stereo Panning|11:Expression Pedal|"
        "64:Damper Pedal On/Off|65:Portamento On/Off|66:Sustenuto On/Off|67:Soft Pedal On/Off|"
        "70:Sound Variation|71:Resonance|74:Cutoff|75:Sound Control 6|76:Sound Control 7|"
        "77:Sound Control 8|78:Sound Control 9|79:Sound Control 10|80:GP Button 1|91:Reverb Level|"
        "92:Tremolo Level|93:Chorus Level|94:Celeste Level or Detune|95:Phaser Level|"
        "96:Data Entry Addition|97:Data Entry Subtraction|98:Non-registered Parameter Number LSB|"
        "99:Non-registered Parameter Number MSB|100:Registered Parameter Number LSB|"
        "101:Registered Parameter Number MSB|120:All Sounds Off|121:All Controllers Off|"
        "122:Local Control On/Off|124:Omni Mode Off|126:Mono Operation|0:CC #0|3:CC #3|9:CC #9|"
        "33:Mod Wheel LSB|34:Breath LSB|36:Foot LSB|39:Main Volume LSB|42:Pan LSB|43:Expression LSB|"
        "44:Effect CTRL 1 LSB|45:Effect CTRL 2 LSB";
    std::istringstream entries(given);
    int count = 0;
    for (std::string entry; std::getline(entries, entry, '|'); ++count) {
        const int number = std::stoi(entry);
        const auto control = midiControlFromRawValue(number);
        ASSERT_TRUE(control) << number;
        EXPECT_EQ(std::pair(int(rawValue(*control)), std::string(description(*control))),
                  std::pair(number, entry.substr(entry.find(':') + 1)));
    }
    EXPECT_EQ(count, 45);
    for (int number = 12; number <= 32; ++number)
        EXPECT_EQ(description(*midiControlFromRawValue(number)), "CC #" + std::to_string(number));
    EXPECT_EQ(midiControlFromRawValue(36), MIDIControl::footControlLsb);
}

TEST(MIDIControl, EveryCaseHasItsOwnNumberAndConstantTextAndNoOtherNumberHasOne) {
    std::set<int> numbers;
    std::set<std::string_view> texts;
    for (MIDIControl control : allMIDIControls) {
        numbers.insert(rawValue(control));
        texts.insert(description(control));
        EXPECT_EQ(midiControlFromRawValue(rawValue(control)), control);
        EXPECT_EQ(description(control).data(), description(control).data())
            << "the same static text on every read";
    }
    EXPECT_EQ(std::pair(numbers.size(), texts.size()), std::pair(std::size_t(81), std::size_t(81)));
    EXPECT_FALSE(texts.contains(""));
    EXPECT_EQ(std::pair(allMIDIControls.front(), allMIDIControls.back()),
              std::pair(MIDIControl::modulationWheel, MIDIControl::effectControl2Lsb));
    for (int number : {-1, 128, 255, 1000})
        EXPECT_FALSE(midiControlFromRawValue(number)) << number;
    int named = 0;
    for (int number = 0; number < 128; ++number)
        named += midiControlFromRawValue(number).has_value();
    EXPECT_EQ(named, 81);
}
