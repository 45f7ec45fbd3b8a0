#pragma once
// A device without hardware whose input plays given signals, one per channel, and whose output is
// discarded by a null device (paced or as fast as possible). Each period's input is captured on the
// render thread just before the period renders, so an engine's input node hears the signals without a
// gap and in step with the output: frame n of input channel c is frame n of signal c. For tests of
// recording and of the input path. Main thread controls it; signals run on its render thread.

#include "platform/audio/AudioDevice.h"
#include "platform/audio/CaptureRateConverter.h"
#include "platform/audio/NullAudioDevice.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace testsupport {

class FakeInputDevice final : public platform::AudioDevice {
public:
    // Fills `frames` samples of one channel from input frame `first` on. Runs on the render thread:
    // it must not lock, allocate or block.
    using Signal = std::function<void(std::uint64_t first, float* out, std::uint32_t frames)>;

    struct Configuration {
        double sampleRate = 44100.0;
        // The rate the input is captured at; 0 for the output's. The device delivers its input at the
        // output's rate, converting as a capture device whose hardware runs at another rate does.
        double inputSampleRate = 0.0;
        std::uint32_t outputChannels = 2;
        // One signal per input channel; a null one is silent.
        std::vector<Signal> inputs;
        std::uint32_t framesPerPeriod = 512;
        // As fast as possible outruns the taps' threads, which then drop buffers.
        platform::NullAudioDevice::Pacing pacing = platform::NullAudioDevice::Pacing::realTime;
        // Input frames captured per period, when fewer than framesPerPeriod: input that runs short.
        std::uint32_t capturedFramesPerPeriod = 0;
        std::string name = "Fake Input Device";
        std::uint32_t deviceID = 0;
    };

    // `values`, then silence.
    static Signal samples(std::vector<float> values);
    // `sample(frame)` for every frame; the function must be cheap and free of side effects.
    static Signal perFrame(std::function<float(std::uint64_t frame)> sample);

    explicit FakeInputDevice(Configuration configuration);
    ~FakeInputDevice() override;

    std::string name() const override { return configuration_.name; }
    std::uint32_t deviceID() const override { return configuration_.deviceID; }
    platform::AudioFormat outputFormat() const override { return output_.outputFormat(); }
    platform::AudioFormat inputFormat() const override { return input_; }
    std::uint32_t framesPerPeriod() const override { return output_.framesPerPeriod(); }

    platform::Result<void> start(Client& client) override;
    void stop() override;
    bool isRunning() const override { return output_.isRunning(); }

    // Fails when the device was given no input signals.
    platform::Result<void> startCapture(platform::CaptureRing& ring) override;
    void stopCapture() override;

    // Two periods when the input is converted: the converter hands over its frames a little late.
    std::uint32_t captureLead() const override;

    // Input frames captured so far, at the input's own rate (any thread).
    std::uint64_t framesCaptured() const { return captured_.load(std::memory_order_relaxed); }

private:
    struct Capturer final : platform::AudioDevice::Client {
        void renderDevicePeriod(std::uint32_t frames, platform::AudioBufferList& out,
                                std::uint64_t hostTime) override;
        FakeInputDevice* device = nullptr;
        Client* client = nullptr;
    };
    void capture(std::uint32_t frames);

    Configuration configuration_;
    platform::NullAudioDevice output_;
    platform::AudioFormat input_;
    std::vector<std::vector<float>> scratch_;
    std::vector<const float*> pointers_;
    Capturer capturer_;
    std::atomic<platform::CaptureRing*> ring_{nullptr};
    std::atomic<bool> capturing_{false};
    std::atomic<std::uint64_t> captured_{0};
    double inputRate_ = 0.0;
    // Made when capture starts at another input rate.
    std::unique_ptr<platform::CaptureRateConverter> converter_;
    // Input frames due by the end of the periods rendered so far (render thread).
    double due_ = 0.0;
};

} // namespace testsupport
