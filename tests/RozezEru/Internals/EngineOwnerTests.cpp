#include "RozezEru/Internals/BufferAudition.h"
#include "RozezEru/Internals/HasAudioEngine.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "platform/audio/AudioDevice.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"

#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/ToolkitNodes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

using testsupport::ToolkitLogCapture;

namespace {

// A device that cannot start, or that starts and never renders.
class StuckDevice final : public platform::AudioDevice {
public:
    explicit StuckDevice(bool starts) : starts_(starts) {}

    std::string name() const override { return "Stuck"; }
    std::uint32_t deviceID() const override { return 0; }
    platform::AudioFormat outputFormat() const override { return testsupport::stereo(); }
    platform::AudioFormat inputFormat() const override { return testsupport::stereo(); }
    std::uint32_t framesPerPeriod() const override { return 512; }
    platform::Result<void> start(Client&) override {
        if (!starts_) return platform::Error::make("test.device", "The device is busy");
        running_ = true;
        return {};
    }
    void stop() override { running_ = false; }
    bool isRunning() const override { return running_; }

private:
    const bool starts_;
    bool running_ = false;
};

// A null device that keeps the first frames of channel 0 it plays from the first sound on, and whether
// it was stopped.
class RecordingDevice final : public platform::AudioDevice {
public:
    struct Record {
        std::vector<float> samples;
        std::atomic<std::size_t> count{0};
        std::atomic<bool> stopped{false};
    };

    RecordingDevice(std::shared_ptr<Record> record, platform::NullAudioDevice::Pacing pacing)
        : record_(std::move(record)), inner_(configuration(pacing)) {
        tap_.record = record_.get();
    }

    std::string name() const override { return inner_.name(); }
    std::uint32_t deviceID() const override { return inner_.deviceID(); }
    platform::AudioFormat outputFormat() const override { return inner_.outputFormat(); }
    platform::AudioFormat inputFormat() const override { return inner_.inputFormat(); }
    std::uint32_t framesPerPeriod() const override { return inner_.framesPerPeriod(); }
    platform::Result<void> start(Client& client) override {
        tap_.client = &client;
        record_->stopped = false;
        return inner_.start(tap_);
    }
    void stop() override {
        inner_.stop();
        record_->stopped = true;
    }
    bool isRunning() const override { return inner_.isRunning(); }

private:
    static platform::NullAudioDevice::Configuration configuration(platform::NullAudioDevice::Pacing pacing) {
        platform::NullAudioDevice::Configuration result;
        result.pacing = pacing;
        return result;
    }
    // Passes each period on to the engine and keeps what it rendered.
    struct Tap final : platform::AudioDevice::Client {
        void renderDevicePeriod(std::uint32_t frames, platform::AudioBufferList& out,
                                std::uint64_t hostTime) override {
            client->renderDevicePeriod(frames, out, hostTime);
            const float* played = out.floatData(0);
            const std::size_t done = record->count.load(std::memory_order_relaxed);
            // A device that runs ahead of the clock may play any amount of silence before the
            // player starts: recording begins with the first sound.
            std::size_t from = 0;
            if (done == 0)
                while (from < frames && played[from] == 0.0f)
                    ++from;
            const std::size_t take = std::min<std::size_t>(frames - from, record->samples.size() - done);
            std::copy_n(played + from, take, record->samples.begin() + std::ptrdiff_t(done));
            record->count.store(done + take, std::memory_order_release);
        }
        Client* client = nullptr;
        Record* record = nullptr;
    };

    std::shared_ptr<Record> record_;
    platform::NullAudioDevice inner_;
    Tap tap_;
};

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

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(HasAudioEngine, StartsAndStopsWithoutPassingFailuresOn) {
    ToolkitLogCapture capture;
    Owner idle(std::make_unique<platform::NullAudioDevice>());
    idle.start();
    EXPECT_FALSE(idle.audioEngine.isRunning());
    Owner broken(std::make_unique<StuckDevice>(false));
    broken.audioEngine.setOutput(testsupport::constantNode());
    broken.start();
    EXPECT_FALSE(broken.audioEngine.isRunning());
    ASSERT_EQ(capture.sink.records().size(), 2u);
    EXPECT_EQ(capture.sink.records()[1].level, platform::LogType::info);
    EXPECT_EQ(capture.contents("AudioEngine.cpp", "start()"),
              std::vector<std::string>{"🛑 Error: Attempt to start engine with no output."});
    EXPECT_EQ(capture.contents("HasAudioEngine.cpp", "start()"),
              std::vector<std::string>{"The device is busy"});

    Owner working(std::make_unique<StuckDevice>(true));
    working.audioEngine.setOutput(testsupport::constantNode());
    working.start();
    EXPECT_TRUE(working.audioEngine.isRunning());
    working.stop();
    EXPECT_FALSE(working.audioEngine.isRunning());
}

TEST(Audition, PlaysTheBufferToTheEndAndStops) {
    auto record = std::make_shared<RecordingDevice::Record>();
    record->samples.resize(44100);
    const auto tone = ownerTestTone(3000);
    ASSERT_TRUE(rozezeru::audition(*tone, std::make_unique<RecordingDevice>(
                                              record, platform::NullAudioDevice::Pacing::asFastAsPossible)));
    EXPECT_TRUE(record->stopped);
    ASSERT_GE(record->count.load(std::memory_order_acquire), 3000u);
    EXPECT_EQ(std::vector<float>(record->samples.begin(), record->samples.begin() + 3000),
              std::vector<float>(tone->channel(0), tone->channel(0) + 3000));
}

TEST(Audition, WaitsForPlaybackInRealTime) {
    auto record = std::make_shared<RecordingDevice::Record>();
    record->samples.resize(44100);
    const auto tone = ownerTestTone(4410);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(rozezeru::audition(
        *tone, std::make_unique<RecordingDevice>(record, platform::NullAudioDevice::Pacing::realTime)));
    // True means it ended with the playback rather than at the timeout; no upper bound on a busy machine.
    EXPECT_GE(secondsSince(start), 0.09);
    EXPECT_TRUE(record->stopped);
}

TEST(Audition, GivesUpAfterTheDurationAndTheMarginOrWhenTheEngineCannotStart) {
    const auto tone = ownerTestTone(2205);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(rozezeru::audition(*tone, std::make_unique<StuckDevice>(true)));
    EXPECT_GE(secondsSince(start), 0.05 + rozezeru::auditionTimeoutMargin - 0.01);

    ToolkitLogCapture capture;
    EXPECT_FALSE(rozezeru::audition(*tone, std::make_unique<StuckDevice>(false)));
    ASSERT_EQ(capture.sink.records().size(), 1u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    EXPECT_EQ(capture.contents("BufferAudition.cpp", "audition()"),
              std::vector<std::string>{"The device is busy"});
}
