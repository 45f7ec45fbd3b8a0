#include "RozezEru/Internals/MIDIControl.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace rozezeru;

TEST(MIDIControl, NamesByControllerNumber) {
    const std::vector<std::pair<int, std::string>> given = {
        {1, "Modulation Wheel"},
        {2, "Breath Control"},
        {8, "Balance"},
        {10, "Stereo Panning"},
        {11, "Expression Pedal"},
        {64, "Damper Pedal On/Off"},
        {65, "Portamento On/Off"},
        {66, "Sustenuto On/Off"},
        {67, "Soft Pedal On/Off"},
        {70, "Sound Variation"},
        {71, "Resonance"},
        {74, "Cutoff"},
        {75, "Sound Control 6"},
        {76, "Sound Control 7"},
        {77, "Sound Control 8"},
        {78, "Sound Control 9"},
        {79, "Sound Control 10"},
        {80, "GP Button 1"},
        {91, "Reverb Level"},
        {92, "Tremolo Level"},
        {93, "Chorus Level"},
        {94, "Celeste Level or Detune"},
        {95, "Phaser Level"},
        {96, "Data Entry Addition"},
        {97, "Data Entry Subtraction"},
        {98, "Non-registered Parameter Number LSB"},
        {99, "Non-registered Parameter Number MSB"},
        {100, "Registered Parameter Number LSB"},
        {101, "Registered Parameter Number MSB"},
        {120, "All Sounds Off"},
        {121, "All Controllers Off"},
        {122, "Local Control On/Off"},
        {124, "Omni Mode Off"},
        {126, "Mono Operation"},
        {0, "CC #0"},
        {3, "CC #3"},
        {9, "CC #9"},
        {33, "Mod Wheel LSB"},
        {34, "Breath LSB"},
        {36, "Foot LSB"},
        {39, "Main Volume LSB"},
        {42, "Pan LSB"},
        {43, "Expression LSB"},
        {44, "Effect CTRL 1 LSB"},
        {45, "Effect CTRL 2 LSB"},
    };
    for (const auto& [number, text] : given) {
        const auto control = midiControlFromRawValue(number);
        ASSERT_TRUE(control) << number;
        EXPECT_EQ(rawValue(*control), number);
        EXPECT_EQ(description(*control), text) << number;
    }
    for (int number = 12; number <= 32; ++number)
        EXPECT_EQ(description(*midiControlFromRawValue(number)), "CC #" + std::to_string(number));
    EXPECT_EQ(midiControlFromRawValue(36), MIDIControl::footControlLsb);
}

TEST(MIDIControl, EveryCaseHasOneNumberAndAConstantText) {
    std::set<int> numbers;
    for (MIDIControl control : allMIDIControls) {
        EXPECT_TRUE(numbers.insert(rawValue(control)).second) << int(rawValue(control));
        EXPECT_EQ(midiControlFromRawValue(rawValue(control)), control);
        const std::string_view first = description(control);
        EXPECT_FALSE(first.empty()) << int(rawValue(control));
        // The same static text on every read.
        EXPECT_EQ(description(control).data(), first.data());
    }
    EXPECT_EQ(numbers.size(), 81u);
    // The fifteen the tables leave to us have texts of their own, all different.
    std::set<std::string_view> texts;
    for (MIDIControl control : allMIDIControls)
        texts.insert(description(control));
    EXPECT_EQ(texts.size(), 81u);
    EXPECT_EQ(allMIDIControls.front(), MIDIControl::modulationWheel);
    EXPECT_EQ(allMIDIControls.back(), MIDIControl::effectControl2Lsb);
}

TEST(MIDIControl, NumbersWithoutACaseGiveNothing) {
    for (int number : {35, 41, 46, 63, 68, 69, 84, 90, 102, 119, -1, 128, 255, 1000})
        EXPECT_FALSE(midiControlFromRawValue(number)) << number;
    // With the cases' own numbers all distinct, this leaves no other number with a case.
    int named = 0;
    for (int number = 0; number < 128; ++number)
        named += midiControlFromRawValue(number).has_value();
    EXPECT_EQ(named, 81);
}
