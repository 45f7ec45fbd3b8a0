#include "RozezEru/Internals/Settings.h"

#include "tests/support/ToolkitLogCapture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rozezeru;
using platform::AudioFormat;
using platform::LogType;
using testsupport::ToolkitLogCapture;

// Puts the process-wide values back, so that the tests do not depend on their order.
class SettingsTest : public ::testing::Test {
protected:
    ~SettingsTest() override {
        Settings::setAudioFormat(savedFormat);
        Settings::bufferLength = savedLength;
    }

    AudioFormat savedFormat = Settings::audioFormat();
    Settings::BufferLength savedLength = Settings::bufferLength;
};

namespace {

AudioFormat standardFormat(double rate, std::uint32_t channels) {
    auto format = AudioFormat::standard(rate, channels);
    EXPECT_TRUE(format.has_value());
    return format.value_or(AudioFormat());
}

} // namespace

// Run alone (as CTest does), this sees the values a fresh process starts with.
TEST_F(SettingsTest, StartsWithTheDefaults) {
    EXPECT_EQ(Settings::defaultAudioFormat(), standardFormat(44100, 2));
    EXPECT_EQ(Settings::audioFormat(), Settings::defaultAudioFormat());
    EXPECT_EQ(std::pair(Settings::bufferLength.load(), Settings::secondBufferLength.load()),
              std::pair(Settings::BufferLength::veryLong, Settings::BufferLength::veryLong));
    EXPECT_EQ(std::pair(Settings::delayRecorderStop.load(), Settings::loggingEnabled.load()),
              std::pair(false, true));
}

TEST_F(SettingsTest, RateAndChannelsEachKeepTheOtherInANewStandardFormat) {
    ToolkitLogCapture capture;

    Settings::setSampleRate(48000);
    EXPECT_EQ(Settings::audioFormat(), standardFormat(48000, 2));
    EXPECT_EQ(Settings::defaultAudioFormat().sampleRate(), 44100.0);
    Settings::setChannelCount(1);
    EXPECT_EQ(Settings::audioFormat(), standardFormat(48000, 1));

    // A format set as it is, not standard, is read back as it is; a new rate makes it standard.
    auto interleaved = AudioFormat::make(platform::CommonFormat::pcmInt16, 22050, 4, true).value();
    Settings::setAudioFormat(interleaved);
    EXPECT_EQ(Settings::audioFormat(), interleaved);
    EXPECT_EQ(std::pair(Settings::sampleRate(), Settings::channelCount()), std::pair(22050.0, 4u));
    Settings::setSampleRate(32000);
    EXPECT_EQ(Settings::audioFormat(), standardFormat(32000, 4));

    EXPECT_TRUE(capture.sink.records().empty());
}

TEST_F(SettingsTest, ValuesThatMakeNoFormatAreRefusedWithAnError) {
    ToolkitLogCapture capture;
    Settings::setAudioFormat(standardFormat(48000, 2));
    const auto kept = Settings::audioFormat();

    // The rate or the channel count written, and the pair as the message gives it.
    using Refusal = std::tuple<double, std::uint32_t, bool, const char*>;
    for (const auto& [rate, channels, setsRate, described] :
         {Refusal{0.0, 2, true, "0.0 Hz with 2"}, Refusal{-44100.0, 2, true, "-44100.0 Hz with 2"},
          Refusal{std::nan(""), 2, true, "nan Hz with 2"}, Refusal{INFINITY, 2, true, "inf Hz with 2"},
          Refusal{48000.0, 0, false, "48000.0 Hz with 0"},
          Refusal{48000.0, 65, false, "48000.0 Hz with 65"}}) {
        SCOPED_TRACE(described);
        capture.sink.clear();
        if (setsRate)
            Settings::setSampleRate(rate);
        else
            Settings::setChannelCount(channels);

        EXPECT_EQ(Settings::audioFormat(), kept);
        ASSERT_EQ(capture.sink.records().size(), 1u);
        EXPECT_EQ(std::pair(capture.sink.records()[0].category, capture.sink.records()[0].level),
                  std::pair(std::string("settings"), LogType::error));
        EXPECT_EQ(capture.contents("Settings.cpp", setsRate ? "sampleRate" : "channelCount"),
                  std::vector{std::string("🛑 Error: Cannot make an audio format of ") + described +
                              " channels; keeping <2 ch, 48000 Hz, Float32, deinterleaved>"});
    }

    // The largest channel count still makes a format.
    capture.sink.clear();
    Settings::setChannelCount(AudioFormat::maxChannels);
    EXPECT_EQ(Settings::channelCount(), AudioFormat::maxChannels);
    EXPECT_TRUE(capture.sink.records().empty());
}

TEST_F(SettingsTest, BufferLengthsAreThePowersOfTwoFrom32To4096) {
    ASSERT_EQ(std::size(allBufferLengths), 8u);
    for (int raw = 5; raw <= 12; ++raw) {
        const auto length = allBufferLengths[std::size_t(raw - 5)];
        EXPECT_EQ(std::pair(rawValue(length), sampleCount(length)), std::pair(raw, 1u << raw));
        EXPECT_EQ(std::pair(bufferLengthFromRawValue(raw), bufferLengthFromSampleCount(1u << raw)),
                  std::pair(std::optional(length), std::optional(length)));
    }
    EXPECT_EQ(std::pair(allBufferLengths[0], allBufferLengths[7]),
              std::pair(Settings::BufferLength::shortest, Settings::BufferLength::longest));

    for (int raw : {-1, 0, 4, 13, 32})
        EXPECT_FALSE(bufferLengthFromRawValue(raw).has_value()) << raw;
    for (std::uint32_t count : {0u, 1u, 16u, 1000u, 1023u, 8192u})
        EXPECT_FALSE(bufferLengthFromSampleCount(count).has_value()) << count;
}

TEST_F(SettingsTest, BufferDurationFollowsTheCurrentRate) {
    EXPECT_NEAR(duration(Settings::BufferLength::veryLong), 0.02322, 1e-5);
    Settings::setSampleRate(48000);
    EXPECT_DOUBLE_EQ(duration(Settings::BufferLength::veryLong), 1024.0 / 48000.0);
    EXPECT_DOUBLE_EQ(duration(Settings::BufferLength::shortest), 32.0 / 48000.0);
}

TEST_F(SettingsTest, IOBufferDuration) {
    ToolkitLogCapture capture;
    EXPECT_NEAR(Settings::getIOBufferDuration(noErr, 512, 44100.0), 0.01161, 1e-5);
    EXPECT_DOUBLE_EQ(Settings::getIOBufferDuration(noErr, 256, 48000.0), 256.0 / 48000.0);
    // An output without a format yet.
    EXPECT_EQ(Settings::getIOBufferDuration(noErr, 512, 0.0), 0.0);
    EXPECT_TRUE(capture.sink.records().empty());

    // A failed read: the frame count it may have left behind is not used.
    EXPECT_EQ(Settings::getIOBufferDuration(-10879, 512, 44100.0), 0.0);
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(std::pair(capture.sink.records()[0].category, capture.sink.records()[0].level),
              std::pair(std::string("settings"), LogType::error));
    EXPECT_EQ(capture.contents("Settings.cpp", "getIOBufferDuration(engine:)"),
              std::vector<std::string>{"error in get ioBufferDuration status -10879"});
}

TEST_F(SettingsTest, LoggingSwitchedOffWritesNoRecordAtAll) {
    ToolkitLogCapture capture;
    Settings::loggingEnabled = false;
    Settings::setSampleRate(0);
    Settings::setChannelCount(0);
    EXPECT_EQ(Settings::getIOBufferDuration(-50, 512, 44100.0), 0.0);
    EXPECT_TRUE(capture.sink.records().empty());
    EXPECT_EQ(Settings::audioFormat(), standardFormat(44100, 2)) << "refused all the same";
}
