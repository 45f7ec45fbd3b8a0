#include "RozezEru/Internals/MemoryAddress.h"
#include "RozezEru/Internals/MusicalDuration.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

using namespace rozezeru;

namespace {

const void* addressAt(std::uintptr_t address) {
    return reinterpret_cast<const void*>(address);
}

} // namespace

TEST(MemoryAddress, EighteenCharactersOfZeroPaddedHexadecimal) {
    EXPECT_EQ(MemoryAddress::addressString(addressAt(0x7ff7b4c0a8f0)), "0x00007ff7b4c0a8f0");
    EXPECT_EQ(MemoryAddress::addressString(nullptr), "0x0000000000000000");
    EXPECT_EQ(MemoryAddress::addressString(addressAt(0x10)), "0x0000000000000010");
    // The top bit set: negative as the signed integer the record holds, the same text.
    EXPECT_EQ(MemoryAddress::addressString(addressAt(0xffff8000deadbeefu)), "0xffff8000deadbeef");
    MemoryAddress high(addressAt(0xffff8000deadbeefu));
    EXPECT_LT(high.opaquePointerAddress, 0);
    EXPECT_EQ(high.description(), "0xffff8000deadbeef");

    int first = 0;
    int second = 0;
    auto firstText = MemoryAddress::addressString(&first);
    EXPECT_EQ(firstText.size(), 18u);
    EXPECT_EQ(firstText.substr(0, 2), "0x");
    EXPECT_EQ(MemoryAddress(&first).description(), firstText);
    EXPECT_NE(MemoryAddress::addressString(&second), firstText);
}

TEST(MusicalDuration, RawValuesAndTheirTable) {
    for (int raw = 0; raw < 12; ++raw)
        EXPECT_EQ(musicalDurationFromRawValue(raw), allMusicalDurations[raw]);
    for (int raw : {-1, 12, 100})
        EXPECT_FALSE(musicalDurationFromRawValue(raw).has_value()) << raw;

    EXPECT_EQ(wholeNoteFraction(MusicalDuration::quarterDotted), 0.375);
    EXPECT_EQ(displayText(MusicalDuration::quarterDotted), "1/4 D");
    EXPECT_EQ(wholeNoteFraction(MusicalDuration::thirtysecond), 0.03125);
    EXPECT_EQ(displayText(MusicalDuration::thirtysecond), "1/32");
    EXPECT_EQ(wholeNoteFraction(MusicalDuration::wholeDotted), 1.5);
    EXPECT_EQ(displayText(MusicalDuration::wholeDotted), "1 D");

    // Plain and dotted values alternate; each plain value doubles the one before, its dotted
    // value is half as long again and reads the same with " D".
    for (int raw = 0; raw < 12; raw += 2) {
        auto plain = allMusicalDurations[raw];
        auto dotted = allMusicalDurations[raw + 1];
        EXPECT_EQ(wholeNoteFraction(dotted), 1.5 * wholeNoteFraction(plain)) << raw;
        EXPECT_EQ(std::string(displayText(dotted)), std::string(displayText(plain)) + " D") << raw;
        if (raw > 0) {
            EXPECT_EQ(wholeNoteFraction(plain), 2 * wholeNoteFraction(allMusicalDurations[raw - 2]));
        }
    }
}

TEST(MusicalDuration, NextAndPreviousWrapRound) {
    EXPECT_EQ(next(MusicalDuration::wholeDotted), MusicalDuration::thirtysecond);
    EXPECT_EQ(previous(MusicalDuration::thirtysecond), MusicalDuration::wholeDotted);
    EXPECT_EQ(next(MusicalDuration::quarter), MusicalDuration::quarterDotted);
    EXPECT_EQ(previous(MusicalDuration::quarter), MusicalDuration::eighthDotted);
    for (auto duration : allMusicalDurations) {
        EXPECT_EQ(previous(next(duration)), duration);
        auto walked = duration;
        for (int step = 0; step < 12; ++step)
            walked = next(walked);
        EXPECT_EQ(walked, duration);
    }
}
