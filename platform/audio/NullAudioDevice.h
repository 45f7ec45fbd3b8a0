#pragma once
// An output device without hardware: its thread renders period after period and discards the audio,
// either paced like a sound card (sleeping until each period is due) or as fast as it can. Lets the
// engine run on machines without a sound card. Main thread controls it; the client runs on its thread.

#include "platform/audio/AudioDevice.h"

#include <atomic>
#include <thread>

namespace platform {

class PcmBuffer;

class NullAudioDevice final : public AudioDevice {
public:
    enum class Pacing { realTime, asFastAsPossible };

    struct Configuration {
        double sampleRate = 44100.0;
        std::uint32_t outputChannels = 2;
        std::uint32_t inputChannels = 2;
        std::uint32_t framesPerPeriod = 512;
        Pacing pacing = Pacing::realTime;
        std::string name = "Null Audio Device";
        std::uint32_t deviceID = 0;
    };

    NullAudioDevice();
    explicit NullAudioDevice(const Configuration& configuration);
    ~NullAudioDevice() override;

    std::string name() const override { return configuration_.name; }
    std::uint32_t deviceID() const override { return configuration_.deviceID; }
    AudioFormat outputFormat() const override { return output_; }
    AudioFormat inputFormat() const override { return input_; }
    std::uint32_t framesPerPeriod() const override { return configuration_.framesPerPeriod; }

    Result<void> start(Client& client) override;
    void stop() override;
    bool isRunning() const override { return thread_.joinable(); }

    // Periods rendered since construction (any thread).
    std::uint64_t periodsRendered() const { return periods_.load(std::memory_order_relaxed); }

private:
    void run(Client& client);

    Configuration configuration_;
    AudioFormat output_;
    AudioFormat input_;
    std::unique_ptr<PcmBuffer> buffer_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::uint64_t> periods_{0};
};

} // namespace platform
