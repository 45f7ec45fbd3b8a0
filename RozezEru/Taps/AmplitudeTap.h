#pragma once
// A tap that measures each channel's level per buffer (root mean square or peak magnitude) and
// reports the left, right or mean level to a handler on the callback queue. The level readers may
// be called from any thread.

#include "RozezEru/Taps/BaseTap.h"

#include <functional>
#include <vector>

namespace rozezeru {

enum class AnalysisMode { rms, peak };
enum class StereoMode { left, right, center };

class AmplitudeTap : public BaseTap {
public:
    using Handler = std::function<void(float)>;

    AmplitudeTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, StereoMode stereoMode,
                 AnalysisMode analysisMode, platform::DispatchQueue& callbackQueue, Handler handler);

    std::int64_t channelCount() const { return channelCount_; }
    std::vector<float> amp() const;
    // The mean over the channels.
    float amplitude() const;
    float leftChannelAmplitude() const;
    // Channel 0 on a mono node.
    float rightChannelAmplitude() const;

    StereoMode stereoMode() const { return stereoMode_.load(); }
    void setStereoMode(StereoMode mode) { stereoMode_ = mode; }
    AnalysisMode analysisMode() const { return analysisMode_.load(); }
    void setAnalysisMode(AnalysisMode mode) { analysisMode_ = mode; }

    void stop() override;

protected:
    void handleBuffer(const Buffer& buffer, const platform::AudioTime& when) override;

private:
    float level(std::int64_t channel) const;

    const std::int64_t channelCount_;
    std::unique_ptr<std::atomic<float>[]> amp_;
    std::atomic<StereoMode> stereoMode_;
    std::atomic<AnalysisMode> analysisMode_;
    Handler handler_;
};

} // namespace rozezeru
