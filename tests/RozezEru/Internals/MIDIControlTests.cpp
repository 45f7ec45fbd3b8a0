#include "RozezEru/Internals/MIDIControl.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace rozezeru;

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
