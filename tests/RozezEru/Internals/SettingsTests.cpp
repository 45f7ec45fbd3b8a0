#include "RozezEru/Internals/Settings.h"

#include "tests/support/ToolkitLogCapture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rozezeru;
using platform::AudioFormat;
using platform::LogType;
using testsupport::ToolkitLogCapture;
using testsupport::toolkitLogContent;

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
    const auto& defaultFormat = Settings::defaultAudioFormat();
    EXPECT_EQ(defaultFormat.sampleRate(), 44100.0);
    EXPECT_EQ(defaultFormat.channelCount(), 2u);
    EXPECT_TRUE(defaultFormat.isStandard());
    EXPECT_EQ(Settings::audioFormat(), defaultFormat);
    EXPECT_EQ(Settings::sampleRate(), 44100.0);
    EXPECT_EQ(Settings::channelCount(), 2u);
    EXPECT_EQ(Settings::bufferLength.load(), Settings::BufferLength::veryLong);
    EXPECT_EQ(Settings::secondBufferLength.load(), Settings::BufferLength::veryLong);
    EXPECT_FALSE(Settings::delayRecorderStop.load());
    EXPECT_TRUE(Settings::loggingEnabled.load());
}

TEST_F(SettingsTest, RateAndChannelsEachKeepTheOtherInANewStandardFormat) {
    ToolkitLogCapture capture;

    Settings::setSampleRate(48000);
    EXPECT_EQ(Settings::sampleRate(), 48000.0);
    EXPECT_EQ(Settings::channelCount(), 2u);
    EXPECT_EQ(Settings::audioFormat(), standardFormat(48000, 2));
    EXPECT_NE(Settings::audioFormat(), Settings::defaultAudioFormat());
    EXPECT_EQ(Settings::defaultAudioFormat().sampleRate(), 44100.0);

    Settings::setChannelCount(1);
    EXPECT_EQ(Settings::audioFormat(), standardFormat(48000, 1));
    EXPECT_EQ(Settings::channelCount(), 1u);

    // A format set as it is, not standard, is read back as it is; a new rate makes it standard.
    auto interleaved = AudioFormat::make(platform::CommonFormat::pcmInt16, 22050, 4, true).value();
    Settings::setAudioFormat(interleaved);
    EXPECT_EQ(Settings::audioFormat(), interleaved);
    EXPECT_EQ(Settings::sampleRate(), 22050.0);
    EXPECT_EQ(Settings::channelCount(), 4u);
    Settings::setSampleRate(32000);
    EXPECT_EQ(Settings::audioFormat(), standardFormat(32000, 4));

    EXPECT_TRUE(capture.sink.records().empty());
}

TEST_F(SettingsTest, ValuesThatMakeNoFormatAreRefusedWithAnError) {
    ToolkitLogCapture capture;
    Settings::setAudioFormat(standardFormat(48000, 2));
    const auto kept = Settings::audioFormat();

    struct Refusal {
        double rate;
        std::uint32_t channels;
        bool setsRate;
        const char* described; // the pair as the message gives it
    };
    const Refusal refusals[] = {
        {0.0, 2, true, "0.0 Hz with 2"},
        {-44100.0, 2, true, "-44100.0 Hz with 2"},
        {std::numeric_limits<double>::quiet_NaN(), 2, true, "nan Hz with 2"},
        {std::numeric_limits<double>::infinity(), 2, true, "inf Hz with 2"},
        {48000.0, 0, false, "48000.0 Hz with 0"},
        {48000.0, 65, false, "48000.0 Hz with 65"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.described);
        capture.sink.clear();
        if (refusal.setsRate)
            Settings::setSampleRate(refusal.rate);
        else
            Settings::setChannelCount(refusal.channels);

        EXPECT_EQ(Settings::audioFormat(), kept);
        EXPECT_EQ(Settings::sampleRate(), 48000.0);
        EXPECT_EQ(Settings::channelCount(), 2u);
        auto records = capture.sink.records();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].category, "settings");
        EXPECT_EQ(records[0].level, LogType::error);
        EXPECT_EQ(toolkitLogContent(records[0].text, "Settings.cpp",
                                    refusal.setsRate ? "sampleRate" : "channelCount"),
                  std::string("🛑 Error: Cannot make an audio format of ") + refusal.described +
                      " channels; keeping <2 ch, 48000 Hz, Float32, deinterleaved>")
            << records[0].text;
    }

    // The largest channel count still makes a format.
    capture.sink.clear();
    Settings::setChannelCount(AudioFormat::maxChannels);
    EXPECT_EQ(Settings::channelCount(), AudioFormat::maxChannels);
    EXPECT_TRUE(capture.sink.records().empty());
}

TEST_F(SettingsTest, BufferLengthsAreThePowersOfTwoFrom32To4096) {
    std::uint32_t expectedCount = 32;
    int expectedRaw = 5;
    for (auto length : allBufferLengths) {
        EXPECT_EQ(rawValue(length), expectedRaw);
        EXPECT_EQ(sampleCount(length), expectedCount);
        EXPECT_EQ(bufferLengthFromRawValue(expectedRaw), length);
        EXPECT_EQ(bufferLengthFromSampleCount(expectedCount), length);
        expectedCount *= 2;
        ++expectedRaw;
    }
    EXPECT_EQ(sampleCount(Settings::BufferLength::shortest), 32u);
    EXPECT_EQ(sampleCount(Settings::BufferLength::longest), 4096u);

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
    auto records = capture.sink.records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].category, "settings");
    EXPECT_EQ(records[0].level, LogType::error);
    EXPECT_EQ(toolkitLogContent(records[0].text, "Settings.cpp", "getIOBufferDuration(engine:)"),
              "error in get ioBufferDuration status -10879")
        << records[0].text;
}

TEST_F(SettingsTest, LoggingSwitchedOffWritesNoRecordAtAll) {
    ToolkitLogCapture capture;
    Settings::loggingEnabled = false;
    Settings::setSampleRate(0);
    Settings::setChannelCount(0);
    EXPECT_EQ(Settings::getIOBufferDuration(-50, 512, 44100.0), 0.0);
    EXPECT_TRUE(capture.sink.records().empty());
    // Refused all the same.
    EXPECT_EQ(Settings::sampleRate(), 44100.0);
    EXPECT_EQ(Settings::channelCount(), 2u);
}
