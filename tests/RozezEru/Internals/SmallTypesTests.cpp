#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/MusicalDuration.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

using namespace rozezeru;

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
