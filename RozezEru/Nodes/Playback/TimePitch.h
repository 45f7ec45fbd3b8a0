#pragma once
// Changes playback rate and pitch independently over the platform's time-pitch unit. The node keeps
// its settings in its own fields; a write clamps, stores and passes the value to the unit. Main thread.

#include "RozezEru/Nodes/Node.h"

#include <memory>
#include <vector>

namespace platform {
class AudioUnitNode;
class TimePitchUnit;
} // namespace platform

namespace rozezeru {

class TimePitch : public Node {
public:
    static constexpr float minimumRate = 0.03125f;
    static constexpr float maximumRate = 32.0f;
    static constexpr float minimumPitch = -2400.0f;
    static constexpr float maximumPitch = 2400.0f;
    static constexpr float minimumOverlap = 3.0f;
    static constexpr float maximumOverlap = 32.0f;

    // Stores the values as given and passes them to the unit, which holds them to its ranges.
    explicit TimePitch(std::shared_ptr<Node> input, float rate = 1.0f, float pitch = 0.0f,
                       float overlap = 8.0f);
    ~TimePitch() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;

    float rate() const { return rate_; }
    void setRate(float rate);
    float pitch() const { return pitch_; }
    void setPitch(float cents);
    float overlap() const { return overlap_; }
    void setOverlap(float overlap);

    // The unit, for what the application reads of it (its latency and timing).
    platform::TimePitchUnit& timePitchAU() const;

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unitNode_;
    float rate_;
    float pitch_;
    float overlap_;
};

// Changes rate and pitch together over the platform's variable-speed unit. A rate of exactly 1 counts
// as off: stop() remembers the rate and sets 1, start() brings the remembered rate back. Main thread.
class VariSpeed : public Node {
public:
    static constexpr float minimumRate = 0.25f;
    static constexpr float maximumRate = 4.0f;

    // Stores the rate as given, also as the last known rate, and passes it to the unit, which holds it
    // to its range.
    explicit VariSpeed(std::shared_ptr<Node> input, float rate = 1.0f);
    ~VariSpeed() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;

    float rate() const { return rate_; }
    // Clamped; does not touch the last known rate.
    void setRate(float rate);
    float lastKnownRate() const { return lastKnownRate_; }
    void setLastKnownRate(float rate) { lastKnownRate_ = rate; }

    bool isStarted() const override { return rate_ != 1.0f; }
    void start() override;
    void stop() override;

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unitNode_;
    float rate_;
    float lastKnownRate_;
};

} // namespace rozezeru
