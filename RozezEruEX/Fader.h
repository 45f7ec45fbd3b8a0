#pragma once
// A two-channel gain stage: the "fder" kernel multiplies the left and right channel by gains of their
// own (ramped over 0.02 s when changed), and can swap the channels or sum them to mono. `gain` sets both
// gains at once and remembers the value; `dB` is the same in decibels. Main thread (the kernel renders on
// the render thread).

#include "RozezEru/Internals/RangeMapping.h"
#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/AutomationCurve.h"
#include "platform/audio/AudioTime.h"

#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class Fader final : public Node {
public:
    static constexpr std::string_view componentSubType = "fder";
    static constexpr ClosedRange<float> gainRange{0.0f, std::numeric_limits<float>::max()};

    // Built once, on first use from any thread; each call returns a copy.
    // "leftGain" ("Left Gain") and "rightGain" ("Right Gain"): 1 in gainRange, linear gain.
    static NodeParameterDef leftGainDef();
    static NodeParameterDef rightGainDef();
    // "flipStereo" ("Flip Stereo") and "mixToMono" ("Mix To Mono"): off (0) in 0 ... 1, Boolean.
    static NodeParameterDef flipStereoDef();
    static NodeParameterDef mixToMonoDef();

    // `input` must not be null. Both gains start at `gain` (clamped), which gain() then reads; the
    // switches start off.
    explicit Fader(std::shared_ptr<Node> input, float gain = 1.0f);

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(leftGain, rightGain, flipStereo, mixToMono);
    }

    // The common gain last set (here or by the constructor), not the parameters' values.
    float gain() const { return gain_; }
    // Writes the left gain, then the right gain (each clamped to gainRange), then remembers `gain`.
    void setGain(float gain);
    // 20 log10(gain()); setting it sets the gain 10^(dB / 20).
    float dB() const;
    void setDB(float dB);

    // Plays the same automation on both gains, the left one first (ParameterAutomation.h).
    void automateGain(std::span<const AutomationEvent> events,
                      std::optional<platform::AudioTime> startTime = std::nullopt);
    // Stops the automation of both gains.
    void stopAutomation();

    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    Parameter<float> leftGain{leftGainDef()};
    Parameter<float> rightGain{rightGainDef()};
    Parameter<bool> flipStereo{flipStereoDef()};
    Parameter<bool> mixToMono{mixToMonoDef()};

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
    float gain_ = 1.0f;
};

} // namespace rozezeru
