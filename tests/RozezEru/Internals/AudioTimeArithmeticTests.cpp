#include "RozezEru/Internals/AudioTimeArithmetic.h"

#include "platform/foundation/HostTime.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rozezeru;
using platform::AudioTime;

namespace {

constexpr std::uint64_t oneSecondOfTicks = 1'000'000'000;

void expectHostOnly(const AudioTime& time, std::uint64_t hostTime) {
    EXPECT_TRUE(time.isHostTimeValid());
    EXPECT_FALSE(time.isSampleTimeValid());
    EXPECT_EQ(time.hostTime(), hostTime);
}

void expectSampleOnly(const AudioTime& time, std::int64_t sampleTime, double sampleRate) {
    EXPECT_FALSE(time.isHostTimeValid());
    EXPECT_TRUE(time.isSampleTimeValid());
    EXPECT_EQ(time.sampleTime(), sampleTime);
    EXPECT_EQ(time.sampleRate(), sampleRate);
}

} // namespace

TEST(AudioTimeArithmetic, MadeTimesHoldOnlyWhatTheyAreMadeOf) {
    auto before = platform::hostTime();
    auto now = audioTimeNow();
    auto after = platform::hostTime();
    EXPECT_FALSE(now.isSampleTimeValid());
    ASSERT_TRUE(now.isHostTimeValid());
    EXPECT_LE(before, now.hostTime());
    EXPECT_LE(now.hostTime(), after);

    expectSampleOnly(sampleTimeZero(48000), 0, 48000);

    expectHostOnly(hostTimeAdvanced(1000, 0.25), 1000 + oneSecondOfTicks / 4);
    expectHostOnly(hostTimeAdvanced(5 * oneSecondOfTicks, -0.5), 4 * oneSecondOfTicks + oneSecondOfTicks / 2);
    // Whole and half seconds are whole tick counts, not one tick short.
    expectHostOnly(hostTimeAdvanced(0, 0.5), oneSecondOfTicks / 2);
    expectHostOnly(hostTimeAdvanced(0, 0.1), oneSecondOfTicks / 10);
}

TEST(AudioTimeArithmetic, OffsetMovesEachValidPart) {
    auto sampleOnly = AudioTime::withSampleTime(44100, 44100);
    expectSampleOnly(offset(sampleOnly, 0.5), 66150, 44100);
    expectSampleOnly(offset(sampleOnly, -0.5), 22050, 44100);
    // The sample offset is truncated toward zero: 0.441 and -1.323 samples.
    expectSampleOnly(offset(sampleOnly, 0.00001), 44100, 44100);
    expectSampleOnly(offset(sampleOnly, -0.00003), 44099, 44100);

    expectHostOnly(offset(AudioTime::withHostTime(3 * oneSecondOfTicks), 1.5),
                   4 * oneSecondOfTicks + oneSecondOfTicks / 2);
    expectHostOnly(offset(AudioTime::withHostTime(3 * oneSecondOfTicks), -1.5),
                   oneSecondOfTicks + oneSecondOfTicks / 2);

    auto both = offset(AudioTime::withBoth(oneSecondOfTicks, 48000, 48000), 2.0);
    EXPECT_EQ(both, AudioTime::withBoth(3 * oneSecondOfTicks, 144000, 48000));

    AudioTime neither;
    EXPECT_EQ(offset(neither, 1.0), neither);

    // The operators, with seconds as a double or as a signed integer.
    EXPECT_EQ(sampleOnly + 0.5, offset(sampleOnly, 0.5));
    EXPECT_EQ(sampleOnly - 0.5, offset(sampleOnly, -0.5));
    EXPECT_EQ(sampleOnly + 2, AudioTime::withSampleTime(132300, 44100));
    EXPECT_EQ(sampleOnly - std::int64_t{1}, AudioTime::withSampleTime(0, 44100));
}

TEST(AudioTimeArithmetic, HostTimesStopAtTheEndsOfTheirRange) {
    expectHostOnly(offset(AudioTime::withHostTime(100), -1.0), 0);
    expectHostOnly(AudioTime::withHostTime(100) - 1, 0);
    constexpr auto largest = std::numeric_limits<std::uint64_t>::max();
    expectHostOnly(offset(AudioTime::withHostTime(largest - 10), 1.0), largest);
    expectHostOnly(hostTimeAdvanced(0, 1e30), largest);
    expectHostOnly(hostTimeAdvanced(7, std::numeric_limits<double>::quiet_NaN()), 7);
}

TEST(AudioTimeArithmetic, ExtrapolateCompletesOneMissingPartFromTheAnchor) {
    const auto anchor = AudioTime::withBoth(10 * oneSecondOfTicks, 441000, 44100);

    // A host time half a second after the anchor gets the sample time half a second after it.
    EXPECT_EQ(extrapolate(AudioTime::withHostTime(10 * oneSecondOfTicks + oneSecondOfTicks / 2), anchor),
              AudioTime::withBoth(10 * oneSecondOfTicks + oneSecondOfTicks / 2, 463050, 44100));
    EXPECT_EQ(extrapolate(AudioTime::withHostTime(9 * oneSecondOfTicks), anchor),
              AudioTime::withBoth(9 * oneSecondOfTicks, 396900, 44100));
    // A sample time at the anchor's rate gets the host time.
    EXPECT_EQ(extrapolate(AudioTime::withSampleTime(463050, 44100), anchor),
              AudioTime::withBoth(10 * oneSecondOfTicks + oneSecondOfTicks / 2, 463050, 44100));

    // Halves of a sample round away from zero: at 2 Hz a quarter second is half a sample.
    const auto slowAnchor = AudioTime::withBoth(10 * oneSecondOfTicks, 100, 2);
    EXPECT_EQ(extrapolate(AudioTime::withHostTime(10 * oneSecondOfTicks + oneSecondOfTicks / 4), slowAnchor)
                  .sampleTime(),
              101);
    EXPECT_EQ(extrapolate(AudioTime::withHostTime(10 * oneSecondOfTicks - oneSecondOfTicks / 4), slowAnchor)
                  .sampleTime(),
              99);

    // Nothing to complete, nothing to complete from, or another timeline: the time as it is.
    const AudioTime cannot[] = {
        AudioTime::withSampleTime(1000, 48000),
        AudioTime::withBoth(5, 6, 44100),
        AudioTime(),
    };
    for (const auto& time : cannot)
        EXPECT_EQ(extrapolate(time, anchor), time);
    const auto hostOnly = AudioTime::withHostTime(oneSecondOfTicks);
    EXPECT_EQ(extrapolate(hostOnly, AudioTime::withHostTime(0)), hostOnly);
    EXPECT_EQ(extrapolate(hostOnly, AudioTime::withSampleTime(0, 44100)), hostOnly);
    EXPECT_EQ(extrapolate(AudioTime::withSampleTime(5, 0), AudioTime::withBoth(0, 0, 0)),
              AudioTime::withSampleTime(5, 0));
}

TEST(AudioTimeArithmetic, TimeIntervalSinceNeedsACommonTimeline) {
    auto interval = [](const AudioTime& time, const AudioTime& other) {
        return timeIntervalSince(time, other);
    };

    EXPECT_EQ(
        interval(AudioTime::withHostTime(3 * oneSecondOfTicks), AudioTime::withHostTime(oneSecondOfTicks)),
        2.0);
    EXPECT_EQ(
        interval(AudioTime::withHostTime(oneSecondOfTicks), AudioTime::withHostTime(3 * oneSecondOfTicks)),
        -2.0);
    // Host times win over sample times, whatever the rates.
    EXPECT_EQ(interval(AudioTime::withBoth(2 * oneSecondOfTicks, 0, 48000),
                       AudioTime::withBoth(oneSecondOfTicks, 999, 44100)),
              1.0);
    EXPECT_EQ(interval(AudioTime::withSampleTime(66150, 44100), AudioTime::withSampleTime(44100, 44100)),
              0.5);
    EXPECT_EQ(interval(AudioTime::withBoth(7, 22050, 44100), AudioTime::withSampleTime(44100, 44100)), -0.5);

    // No common or completable value.
    EXPECT_FALSE(interval(AudioTime::withHostTime(5), AudioTime::withSampleTime(5, 44100)));
    EXPECT_FALSE(interval(AudioTime::withSampleTime(5, 44100), AudioTime::withHostTime(5)));
    EXPECT_FALSE(interval(AudioTime::withSampleTime(96000, 48000), AudioTime::withSampleTime(44100, 44100)));
    EXPECT_FALSE(interval(AudioTime::withBoth(5, 96000, 48000), AudioTime::withSampleTime(44100, 44100)));
    EXPECT_FALSE(interval(AudioTime::withBoth(5, 96000, 48000), AudioTime()));
    EXPECT_FALSE(interval(AudioTime(), AudioTime::withBoth(5, 96000, 48000)));
    EXPECT_FALSE(interval(AudioTime::withSampleTime(10, 0), AudioTime::withSampleTime(5, 0)));
}

TEST(AudioTimeArithmetic, ToSecondsFromAnEarlierHostTime) {
    EXPECT_EQ(toSeconds(AudioTime::withHostTime(3 * oneSecondOfTicks), oneSecondOfTicks), 2.0);
    EXPECT_EQ(toSeconds(AudioTime::withBoth(oneSecondOfTicks / 2, 0, 44100), 0), 0.5);
    EXPECT_EQ(toSeconds(AudioTime::withHostTime(oneSecondOfTicks), 3 * oneSecondOfTicks), -2.0);
    EXPECT_EQ(toSeconds(AudioTime::withSampleTime(44100, 44100), 0), 0.0);
}
