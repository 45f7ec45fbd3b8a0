#include "RozezEru/Internals/AudioTimeArithmetic.h"

#include "platform/foundation/HostTime.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rozezeru;
using platform::AudioTime;

namespace {

constexpr std::uint64_t second = 1'000'000'000; // host ticks
constexpr auto largest = std::numeric_limits<std::uint64_t>::max();

AudioTime host(std::uint64_t ticks) {
    return AudioTime::withHostTime(ticks);
}
AudioTime sample(std::int64_t time, double rate = 44100) {
    return AudioTime::withSampleTime(time, rate);
}

} // namespace

TEST(AudioTimeArithmetic, MadeTimesHoldOnlyWhatTheyAreMadeOf) {
    const auto before = platform::hostTime();
    const auto now = audioTimeNow();
    const auto after = platform::hostTime();
    ASSERT_TRUE(now.isHostTimeValid() && !now.isSampleTimeValid());
    EXPECT_TRUE(before <= now.hostTime() && now.hostTime() <= after);
    EXPECT_EQ(sampleTimeZero(48000), sample(0, 48000));
    // Whole and half seconds are whole tick counts, not one tick short; host times stop at their range's
    // ends.
    for (auto [from, seconds, to] : {std::tuple{std::uint64_t(1000), 0.25, 1000 + second / 4},
                                     {5 * second, -0.5, 4 * second + second / 2},
                                     {0, 0.5, second / 2},
                                     {0, 0.1, second / 10},
                                     {0, 1e30, largest},
                                     {7, std::nan(""), 7}})
        EXPECT_EQ(hostTimeAdvanced(from, seconds), host(to)) << from << " + " << seconds;
}

TEST(AudioTimeArithmetic, OffsetMovesEachValidPartAndHostTimesStopAtTheirEnds) {
    const auto sampleOnly = sample(44100);
    // The sample offset is truncated toward zero: 0.441 and -1.323 samples.
    for (auto [from, seconds, to] :
         {std::tuple{sampleOnly, 0.5, sample(66150)},
          {sampleOnly, -0.5, sample(22050)},
          {sampleOnly, 0.00001, sampleOnly},
          {sampleOnly, -0.00003, sample(44099)},
          {host(3 * second), 1.5, host(4 * second + second / 2)},
          {host(3 * second), -1.5, host(second + second / 2)},
          {host(100), -1.0, host(0)},
          {host(largest - 10), 1.0, host(largest)},
          {AudioTime::withBoth(second, 48000, 48000), 2.0, AudioTime::withBoth(3 * second, 144000, 48000)},
          {AudioTime(), 1.0, AudioTime()}})
        EXPECT_EQ(offset(from, seconds), to) << seconds;
    // The operators, with seconds as a double or as a signed integer.
    EXPECT_EQ(sampleOnly + 0.5, offset(sampleOnly, 0.5));
    EXPECT_EQ(sampleOnly - 0.5, offset(sampleOnly, -0.5));
    EXPECT_EQ(sampleOnly + 2, sample(132300));
    EXPECT_EQ(sampleOnly - std::int64_t{1}, sample(0));
    EXPECT_EQ(host(100) - 1, host(0));
}

TEST(AudioTimeArithmetic, ExtrapolateCompletesOneMissingPartFromTheAnchor) {
    const auto anchor = AudioTime::withBoth(10 * second, 441000, 44100);
    const auto halfPast = 10 * second + second / 2;
    EXPECT_EQ(extrapolate(host(halfPast), anchor), AudioTime::withBoth(halfPast, 463050, 44100));
    EXPECT_EQ(extrapolate(host(9 * second), anchor), AudioTime::withBoth(9 * second, 396900, 44100));
    EXPECT_EQ(extrapolate(sample(463050), anchor), AudioTime::withBoth(halfPast, 463050, 44100));
    // Halves of a sample round away from zero: at 2 Hz a quarter second is half a sample.
    const auto slowAnchor = AudioTime::withBoth(10 * second, 100, 2);
    EXPECT_EQ(extrapolate(host(10 * second + second / 4), slowAnchor).sampleTime(), 101);
    EXPECT_EQ(extrapolate(host(10 * second - second / 4), slowAnchor).sampleTime(), 99);
    // Nothing to complete, nothing to complete from, or another timeline: the time as it is.
    for (auto [time, from] : {std::pair{sample(1000, 48000), anchor},
                              {AudioTime::withBoth(5, 6, 44100), anchor},
                              {AudioTime(), anchor},
                              {host(second), host(0)},
                              {host(second), sample(0)},
                              {sample(5, 0), AudioTime::withBoth(0, 0, 0)}})
        EXPECT_EQ(extrapolate(time, from), time);
}

TEST(AudioTimeArithmetic, IntervalsNeedACommonTimelineAndSecondsCountFromAHostTime) {
    // Host times win over sample times, whatever the rates.
    for (auto [time, other, seconds] :
         {std::tuple{host(3 * second), host(second), 2.0},
          {host(second), host(3 * second), -2.0},
          {AudioTime::withBoth(2 * second, 0, 48000), AudioTime::withBoth(second, 999, 44100), 1.0},
          {sample(66150), sample(44100), 0.5},
          {AudioTime::withBoth(7, 22050, 44100), sample(44100), -0.5}})
        EXPECT_EQ(timeIntervalSince(time, other), seconds);
    // No common or completable value.
    const auto both = AudioTime::withBoth(5, 96000, 48000);
    for (auto [time, other] : {std::pair{host(5), sample(5)},
                               {sample(5), host(5)},
                               {sample(96000, 48000), sample(44100)},
                               {both, sample(44100)},
                               {both, AudioTime()},
                               {AudioTime(), both},
                               {sample(10, 0), sample(5, 0)}})
        EXPECT_FALSE(timeIntervalSince(time, other));

    EXPECT_EQ(toSeconds(host(3 * second), second), 2.0);
    EXPECT_EQ(toSeconds(AudioTime::withBoth(second / 2, 0, 44100), 0), 0.5);
    EXPECT_EQ(toSeconds(host(second), 3 * second), -2.0);
    EXPECT_EQ(toSeconds(sample(44100), 0), 0.0);
}
