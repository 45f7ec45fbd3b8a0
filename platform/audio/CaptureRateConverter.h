#pragma once
// Brings captured audio from the rate the capture hardware runs at to the rate of the device's input
// format (libsamplerate), on its way into the capture ring, so that an input device at any rate feeds
// an engine at the output's rate. Made on the main thread (it allocates); write() belongs to the
// thread that captures and neither allocates nor locks.

#include <cstdint>
#include <memory>
#include <vector>

struct SRC_STATE_tag;

namespace platform {

class CaptureRing;

class CaptureRateConverter {
public:
    // Null for rates too far apart to convert (a ratio beyond 256) or when memory runs out.
    static std::unique_ptr<CaptureRateConverter> make(double captureRate, double ringRate,
                                                      std::uint32_t channels);
    ~CaptureRateConverter();
    CaptureRateConverter(const CaptureRateConverter&) = delete;
    CaptureRateConverter& operator=(const CaptureRateConverter&) = delete;

    double captureRate() const { return captureRate_; }
    double ringRate() const { return ringRate_; }

    // Converts `frames` captured frames (one pointer per channel; null or missing channels are
    // silent) and appends what the resampler has made of them to `ring`. The resampler holds back a
    // few dozen frames it needs to look ahead, which reach the ring with the next write.
    void write(CaptureRing& ring, const float* const* channels, std::uint32_t channelCount,
               std::uint32_t frames);

private:
    CaptureRateConverter(double captureRate, double ringRate, std::uint32_t channels);

    double captureRate_;
    double ringRate_;
    std::uint32_t channels_;
    std::uint32_t outputCapacity_ = 0;
    SRC_STATE_tag* resampler_ = nullptr;
    // Interleaved, one chunk of input and what the resampler makes of it; then planar for the ring.
    std::vector<float> interleavedIn_;
    std::vector<float> interleavedOut_;
    std::vector<std::vector<float>> planar_;
    std::vector<const float*> planarPointers_;
};

} // namespace platform
