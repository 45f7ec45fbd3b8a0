#pragma once
// The platform's distortion as a node with two plain controls and the factory presets (in place of
// AVAudioUnitDistortion): the wet/dry mix in percent and the pre-gain in decibels, each stored as given and
// passed to the unit, which limits it to its own range. A loaded preset changes the unit, not the stored
// numbers. start(), stop() and bypass() work through the unit's bypass flag. Main thread.

#include "RozezEru/Nodes/Node.h"
#include "platform/audio/DistortionUnit.h"

#include <memory>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class PlatformDistortion final : public Node {
public:
    // A null input stops the program.
    explicit PlatformDistortion(std::shared_ptr<Node> input, float dryWetMix = 50.0f, float preGain = -6.0f);
    ~PlatformDistortion() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return avAudioNode_; }
    // Another platform node for the graph; the distortion unit stays the one the controls reach. Null
    // stops the program.
    void setAVAudioNode(std::shared_ptr<platform::AudioNode> node);

    float dryWetMix() const { return dryWetMix_; }
    void setDryWetMix(float percent);
    float preGain() const { return preGain_; }
    void setPreGain(float decibels);

    void loadFactoryPreset(platform::DistortionPreset preset);

    platform::DistortionUnit& distAU() const;

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
    std::shared_ptr<platform::AudioNode> avAudioNode_;
    float dryWetMix_ = 50.0f;
    float preGain_ = -6.0f;
};

} // namespace rozezeru
