#pragma once
// A tap that tracks the pitch and amplitude of every channel of a node's output, one tracker per
// channel, and reports them to a handler on the main queue. Readers belong to the main thread.

#include "RozezEru/Taps/BaseTap.h"

#include <functional>
#include <vector>

namespace sigpro {
struct PitchTracker;
}

namespace rozezeru {

class PitchTap : public BaseTap {
public:
    using Handler = std::function<void(const std::vector<float>& pitch, const std::vector<float>& amp)>;

    PitchTap(std::shared_ptr<Node> input, std::uint32_t bufferSize, Handler handler);
    ~PitchTap() override;

    const std::vector<float>& pitch() const { return pitch_; }
    const std::vector<float>& amp() const { return amp_; }
    std::size_t trackerCount() const { return trackers_.size(); }
    // The mean over the channels of the last analysed buffer.
    float amplitude() const;
    float leftPitch() const { return pitch_[0]; }
    float rightPitch() const { return pitch_[1]; }

    void stop() override;

protected:
    void handleBuffer(const Buffer& buffer, const platform::AudioTime& when) override;

private:
    std::vector<float> pitch_{0.0f, 0.0f};
    std::vector<float> amp_{0.0f, 0.0f};
    std::vector<sigpro::PitchTracker*> trackers_;
    std::size_t lastChannels_ = 0;
    Handler handler_;
};

} // namespace rozezeru
