#include "RozezEru/Internals/BufferAudition.h"
#include "RozezEru/Internals/HasAudioEngine.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "platform/audio/AudioDevice.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"

#include "tests/support/TestDevices.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitNodes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

using testsupport::RecordingDevice;
using testsupport::ToolkitLogCapture;

namespace {

std::unique_ptr<platform::PcmBuffer> ownerTestTone(std::uint32_t frames) {
    auto buffer = platform::PcmBuffer::make(testsupport::stereo(), frames);
    for (std::uint32_t c = 0; c < 2; ++c)
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer->channel(c)[i] = float(i % 100 + 1) / 200.0f;
    buffer->setFrameLength(frames);
    return buffer;
}

struct Owner final : rozezeru::HasAudioEngine {
    explicit Owner(std::unique_ptr<platform::AudioDevice> device) : audioEngine(std::move(device)) {}
    rozezeru::AudioEngine& engine() override { return audioEngine; }
    rozezeru::AudioEngine audioEngine;
};

double ownerTestSecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(HasAudioEngine, StartsAndStopsWithoutPassingFailuresOn) {
    ToolkitLogCapture capture;
    Owner idle(std::make_unique<platform::NullAudioDevice>());
    idle.start();
    EXPECT_FALSE(idle.audioEngine.isRunning());
    Owner broken(std::make_unique<testsupport::RefusingDevice>("The device is busy"));
    broken.audioEngine.setOutput(testsupport::constantNode());
    broken.start();
    EXPECT_FALSE(broken.audioEngine.isRunning());
    ASSERT_EQ(capture.sink.records().size(), 2u);
    EXPECT_EQ(capture.sink.records()[1].level, platform::LogType::info);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "start()"),
              std::vector<std::string>{"🛑 Error: Attempt to start engine with no output."});
    EXPECT_EQ(capture.contents("HasAudioEngine.cpp", "start()"),
              std::vector<std::string>{"The device is busy"});

    Owner working(std::make_unique<testsupport::StuckDevice>());
    working.audioEngine.setOutput(testsupport::constantNode());
    working.start();
    EXPECT_TRUE(working.audioEngine.isRunning());
    working.stop();
    EXPECT_FALSE(working.audioEngine.isRunning());
}

TEST(Audition, PlaysTheBufferToTheEndAndStops) {
    auto record = std::make_shared<RecordingDevice::Record>(44100);
    const auto tone = ownerTestTone(3000);
    ASSERT_TRUE(rozezeru::audition(*tone, std::make_unique<RecordingDevice>(
                                              record, platform::NullAudioDevice::Pacing::asFastAsPossible)));
    EXPECT_TRUE(record->stopped);
    ASSERT_GE(record->count.load(std::memory_order_acquire), 3000u);
    EXPECT_EQ(std::vector<float>(record->samples.begin(), record->samples.begin() + 3000),
              std::vector<float>(tone->channel(0), tone->channel(0) + 3000));
}

TEST(Audition, GivesUpAfterTheDurationAndTheMarginOrWhenTheEngineCannotStart) {
    const auto tone = ownerTestTone(2205);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(rozezeru::audition(*tone, std::make_unique<testsupport::StuckDevice>()));
    EXPECT_GE(ownerTestSecondsSince(start), 0.05 + rozezeru::auditionTimeoutMargin - 0.01);

    ToolkitLogCapture capture;
    EXPECT_FALSE(
        rozezeru::audition(*tone, std::make_unique<testsupport::RefusingDevice>("The device is busy")));
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    EXPECT_EQ(capture.contents("BufferAudition.cpp", "audition()"),
              std::vector<std::string>{"The device is busy"});
}
