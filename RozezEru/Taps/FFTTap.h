#pragma once
// A tap that turns each buffer's first channel into a squared-magnitude spectrum (Hann window,
// optional zero padding or a chosen bin count) and hands it to a handler on the callback queue.
// The field accessors may be called from any thread.

#include "RozezEru/Taps/BaseTap.h"

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

namespace rozezeru {

enum class FFTValidBinCount {
    two = 2,
    four = 4,
    eight = 8,
    sixteen = 16,
    thirtyTwo = 32,
    sixtyFour = 64,
    oneHundredTwentyEight = 128,
    twoHundredFiftySix = 256,
    fiveHundredAndTwelve = 512,
    oneThousandAndTwentyFour = 1024,
    twoThousandAndFortyEight = 2048,
    fourThousandAndNintySix = 4096,
    eightThousandOneHundredAndNintyTwo = 8192,
};
double rawValue(FFTValidBinCount count);
std::optional<FFTValidBinCount> fftValidBinCount(double rawValue);

struct FFTSetupForBinCount {
    explicit FFTSetupForBinCount(FFTValidBinCount count);
    std::uint64_t log2n;
    std::int64_t binCount;
};

class FFTTap : public BaseTap {
public:
    using Handler = std::function<void(const std::vector<float>&)>;

    FFTTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, std::optional<FFTValidBinCount> binCount,
           platform::DispatchQueue& callbackQueue, Handler handler);

    std::vector<float> fftData() const;
    void setFftData(std::vector<float> data);
    bool isNormalized() const;
    void setIsNormalized(bool normalized);
    std::uint32_t zeroPaddingFactor() const;
    void setZeroPaddingFactor(std::uint32_t factor);
    std::optional<FFTSetupForBinCount> fftSetupForBinCount() const;

    // First channel only. The transform never holds more than N samples: when N is smaller than the
    // frame count only the first N windowed samples enter it. Silence gives zeros; no frames, nothing.
    static std::vector<float> magnitudeSpectrum(const platform::PcmBuffer& buffer, bool isNormalized,
                                                std::uint32_t zeroPaddingFactor,
                                                const std::optional<FFTSetupForBinCount>& setup);
    static std::uint32_t fftLog2n(std::uint32_t frameCount, const std::optional<FFTSetupForBinCount>& setup);

    void stop() override;

protected:
    void handleBuffer(const Buffer& buffer, const platform::AudioTime& when) override;

private:
    mutable std::mutex mutex_;
    std::vector<float> fftData_;
    bool isNormalized_ = true;
    std::uint32_t zeroPaddingFactor_ = 0;
    std::optional<FFTSetupForBinCount> setup_;
    Handler handler_;
};

} // namespace rozezeru
