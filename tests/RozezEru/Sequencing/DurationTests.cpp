#include "RozezEru/Sequencing/Duration.h"
#include "tests/support/ToolkitLogCapture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rozezeru;

namespace {
const char* const samplesWarning = "Warning: Samples exceeds the maximum number.";
constexpr auto int64Max = std::numeric_limits<std::int64_t>::max();
} // namespace

TEST(Duration, ConversionsDescriptionAndOversizeCounts) {
    testsupport::ToolkitLogCapture log;
    auto twoBeats = Duration::fromSamples(44100, 44100, 120);
    EXPECT_EQ(twoBeats.beats, 2.0);
    EXPECT_EQ(twoBeats.samples(), 44100);
    EXPECT_EQ(twoBeats.seconds(), 1.0);
    EXPECT_EQ(Duration::fromSeconds(1.5, 48000, 90).beats, 2.25);
    twoBeats.setSamples(22050);
    EXPECT_EQ(twoBeats.beats, 1.0);
    EXPECT_EQ(Duration::fromSamples(44100, 44100, 60).description(),
              "44100 samples at 44100.0 = 1.0 Beats at 60.0 BPM = 1.0s");
    // A larger right operand leaves negative beats, whose count truncates toward zero.
    EXPECT_EQ((Duration::fromSamples(0, 1, 60) - Duration::fromSeconds(1.5, 1, 60)).samples(), -1);
    EXPECT_TRUE(log.contents("Duration.cpp", "samples").empty());
    // A tempo of 0 and a remainder by 0 beats both clamp to the top, with the warning each time.
    auto still = Duration::fromSamples(44100, 44100, 0);
    EXPECT_EQ(still.samples(), int64Max);
    EXPECT_EQ((twoBeats % Duration::fromSamples(0, 44100, 60)).samples(), int64Max);
    EXPECT_EQ(still.minutes(), static_cast<double>(int64Max) / 44100 / 60);
    EXPECT_EQ(log.contents("Duration.cpp", "samples"), std::vector<std::string>(3, samplesWarning));
    EXPECT_EQ(Duration::fromSeconds(-std::numeric_limits<double>::infinity(), 1, 60).samples(),
              std::numeric_limits<std::int64_t>::min());
}

TEST(Duration, ArithmeticAndComparisonUseBeatsAlone) {
    auto a = Duration::fromSamples(44100, 44100, 120), b = Duration::fromSeconds(2, 22050, 60);
    EXPECT_EQ(std::pair(a == b, a < b || b < a), std::pair(true, false));
    auto sum = a + Duration::fromSeconds(60, 8000, 1);
    EXPECT_EQ(std::tuple(sum.beats, sum.sampleRate, sum.tempo), std::tuple(3.0, 44100.0, 120.0));
    EXPECT_EQ((Duration::fromSeconds(-7.5, 1, 60) % Duration::fromSeconds(2, 1, 60)).beats, -1.5);
    for (auto [beats, ceiled] : {std::pair{2.0, 2.0}, {2.01, 3.0}, {-0.5, -0.0}})
        EXPECT_EQ(ceil(Duration::fromSeconds(beats, 1, 60)).beats, ceiled) << beats;
    EXPECT_TRUE(std::signbit(ceil(Duration::fromSeconds(-0.5, 1, 60)).beats));
    a -= b;
    EXPECT_EQ(a.beats, 0.0);
}

TEST(TimeSignature, BottomValuesPairsAndDescriptions) {
    for (std::uint8_t raw : {0, 5, 255})
        EXPECT_FALSE(timeSignatureBottomValue(raw).has_value()) << int(raw);
    for (std::uint8_t raw = 1; raw <= 4; ++raw)
        EXPECT_EQ(rawValue(*timeSignatureBottomValue(raw)), raw);
    TimeSignature threeEight{3, TimeSignatureBottomValue::eight},
        sevenSixteen{7, TimeSignatureBottomValue::sixteen};
    EXPECT_EQ(threeEight.numeratorAndDenominator(), std::pair(3, 8));
    EXPECT_EQ(threeEight.description() + " " + sevenSixteen.description() + " " +
                  TimeSignature{}.description(),
              "3/8 7/16 4/4");
    EXPECT_FALSE(threeEight == (TimeSignature{3, TimeSignatureBottomValue::four}));
    EXPECT_EQ(std::hash<TimeSignatureBottomValue>()(TimeSignatureBottomValue::two),
              std::hash<TimeSignatureBottomValue>()(*timeSignatureBottomValue(1)));
}
