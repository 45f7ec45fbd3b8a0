#pragma once
// A device that plays through an ALSA PCM: its own render thread renders a period, converts it to the
// sample type the PCM accepts (float, 32- or 16-bit integer, interleaved) and writes it, recovering from
// underruns. Its input is captured from an ALSA capture PCM, opened only when capture starts, on a
// thread of its own that converts each period to float (and to the output's rate, when the capture PCM
// runs at another) and hands it to the render thread through the capture ring. Opening a missing device fails
// with an error, never blocks. Made, started and stopped on the main thread.

#include "platform/audio/AudioDevice.h"
#include "platform/audio/CaptureRateConverter.h"

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

struct _snd_pcm;

namespace platform {

class PcmBuffer;

class AlsaAudioDevice final : public AudioDevice {
public:
    struct Request {
        std::string pcmName = "default";
        double sampleRate = 44100.0;
        std::uint32_t channels = 2;
        std::uint32_t framesPerPeriod = 512;
        std::uint32_t periods = 4;
        // The identifier the device list knows the PCM by.
        std::uint32_t deviceID = 0;
        // The PCM capture opens; empty for the playback PCM's own name.
        std::string capturePcmName;
        std::uint32_t captureChannels = 2;
    };

    // Opens and configures the PCM; the hardware may settle on another rate, channel count or period.
    static Result<std::unique_ptr<AlsaAudioDevice>> open(const Request& request);
    ~AlsaAudioDevice() override;

    std::string name() const override { return name_; }
    std::uint32_t deviceID() const override { return deviceID_; }
    AudioFormat outputFormat() const override { return format_; }
    // The requested capture channels at the output's rate; the PCM is opened only by startCapture().
    AudioFormat inputFormat() const override { return inputFormat_; }
    std::uint32_t framesPerPeriod() const override { return period_; }

    Result<void> start(Client& client) override;
    void stop() override;
    bool isRunning() const override { return thread_.joinable(); }

    // Opens the capture PCM, near the output's rate, and starts the capture thread, which converts
    // the input to the output's rate when the PCM settled on another. Fails when the PCM cannot be
    // opened or configured.
    Result<void> startCapture(CaptureRing& ring) override;
    void stopCapture() override;
    // Two periods: capture hands over whole periods, and the output may ask for one just before the
    // capture thread wakes.
    std::uint32_t captureLead() const override { return 2 * period_; }
    std::string capturePcmName() const { return captureName_; }
    bool isCapturing() const { return captureThread_.joinable(); }
    // Frames captured, and capture overruns recovered from, since the device was opened (any thread).
    std::uint64_t framesCaptured() const { return captured_.load(std::memory_order_relaxed); }
    std::uint64_t captureOverruns() const { return overruns_.load(std::memory_order_relaxed); }
    // Whether the capture thread gave up because the capture PCM stopped working (any thread).
    bool captureHasFailed() const { return captureFailed_.load(std::memory_order_relaxed); }

    // Underruns recovered from since the device was opened (any thread).
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }
    // Whether the render thread gave up because the device stopped working (any thread).
    bool hasFailed() const { return failed_.load(std::memory_order_relaxed); }

    enum class SampleType { float32, int32, int16 };
    SampleType sampleType() const { return sampleType_; }

private:
    AlsaAudioDevice() = default;
    void run(Client& client);
    void convert(std::uint32_t frames);
    bool write(std::uint32_t frames);
    void capture();
    void deinterleave(std::uint32_t frames);

    _snd_pcm* pcm_ = nullptr;
    std::string name_;
    std::uint32_t deviceID_ = 0;
    AudioFormat format_;
    std::uint32_t period_ = 0;
    SampleType sampleType_ = SampleType::float32;
    std::unique_ptr<PcmBuffer> buffer_;
    std::vector<unsigned char> interleaved_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::uint64_t> underruns_{0};

    std::string captureName_;
    AudioFormat inputFormat_;
    _snd_pcm* capturePcm_ = nullptr;
    SampleType captureType_ = SampleType::float32;
    std::uint32_t captureChannels_ = 0; // what the capture PCM settled on
    std::uint32_t capturePeriod_ = 0;
    CaptureRing* ring_ = nullptr;
    std::unique_ptr<CaptureRateConverter> captureConverter_; // when the capture PCM runs at another rate
    std::vector<unsigned char> capturedInterleaved_;
    std::vector<std::vector<float>> capturedPlanar_;
    std::vector<const float*> capturedPointers_;
    std::thread captureThread_;
    std::atomic<bool> captureStopRequested_{false};
    std::atomic<bool> captureFailed_{false};
    std::atomic<std::uint64_t> captured_{0};
    std::atomic<std::uint64_t> overruns_{0};
};

// Routes ALSA's own error messages (printed to stderr by default) to nowhere: a missing sound card is
// an ordinary condition here, reported through results.
void silenceAlsaErrorOutput();

} // namespace platform
