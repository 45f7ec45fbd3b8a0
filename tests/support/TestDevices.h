#pragma once
// Output devices for tests, none with hardware: one that refuses to start (a sound card that has gone
// away), one that starts and never renders (a stuck one), and one that plays like the null device while
// keeping the first sound it plays. Links platform_audio. Test thread; the recording device's periods run
// on its null device's thread.

#include "platform/audio/AudioDevice.h"
#include "platform/audio/NullAudioDevice.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Stereo at 44.1 kHz in periods of 512 frames, started by the subclass.
class FixedFormatDevice : public platform::AudioDevice {
public:
    explicit FixedFormatDevice(std::string name) : name_(std::move(name)) {}
    std::string name() const override { return name_; }
    std::uint32_t deviceID() const override { return 0; }
    platform::AudioFormat outputFormat() const override {
        return *platform::AudioFormat::standard(44100.0, 2);
    }
    platform::AudioFormat inputFormat() const override { return outputFormat(); }
    std::uint32_t framesPerPeriod() const override { return 512; }
    void stop() override { running_ = false; }
    bool isRunning() const override { return running_; }

protected:
    std::atomic<bool> running_{false};

private:
    std::string name_;
};

// start() fails with `message`.
class RefusingDevice final : public FixedFormatDevice {
public:
    explicit RefusingDevice(std::string message = "the device is gone")
        : FixedFormatDevice("Refusing"), message_(std::move(message)) {}
    platform::Result<void> start(Client&) override { return platform::Error::make("test.device", message_); }

private:
    std::string message_;
};

// Starts, and never renders a period.
class StuckDevice final : public FixedFormatDevice {
public:
    StuckDevice() : FixedFormatDevice("Stuck") {}
    platform::Result<void> start(Client&) override {
        running_ = true;
        return {};
    }
};

// The null device, keeping channel 0 of what it plays from the first sound on (a device running ahead of
// the clock may play any amount of silence first) until `samples` is full, and whether it was stopped.
class RecordingDevice final : public platform::AudioDevice {
public:
    struct Record {
        explicit Record(std::size_t capacity) : samples(capacity) {}
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
    struct Tap final : platform::AudioDevice::Client {
        void renderDevicePeriod(std::uint32_t frames, platform::AudioBufferList& out,
                                std::uint64_t hostTime) override {
            client->renderDevicePeriod(frames, out, hostTime);
            const float* played = out.floatData(0);
            const std::size_t done = record->count.load(std::memory_order_relaxed);
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

} // namespace testsupport
