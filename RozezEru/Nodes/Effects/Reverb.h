#pragma once
// The platform's reverb as a node (in place of AVAudioUnitReverb) with a wet/dry mix from 0 to 1 and the
// factory presets. Stopping it does not bypass the unit: it sets the unit's mix to 0, so the input passes
// dry while the unit keeps running and its tail fades; starting it brings the mix back. Main thread.

#include "RozezEru/Nodes/Node.h"
#include "platform/audio/ReverbUnit.h"

#include <memory>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class Reverb final : public Node {
public:
    // The mix is limited to 0 ... 1 as a later write would be. A null input stops the program.
    explicit Reverb(std::shared_ptr<Node> input, float dryWetMix = 0.5f);
    ~Reverb() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return avAudioNode_; }
    // Another platform node for the graph; the reverb unit stays the one the controls reach. Null stops
    // the program.
    void setAVAudioNode(std::shared_ptr<platform::AudioNode> node);

    // Limited to 0 ... 1 and written to the unit (times 100) whether started or not.
    float dryWetMix() const { return dryWetMix_; }
    void setDryWetMix(float mix);

    // The node's own flag; setting it alone changes nothing at the unit.
    bool isStarted() const override { return isStarted_; }
    void setIsStarted(bool started) { isStarted_ = started; }
    void start() override;
    void play() { start(); }
    void stop() override;
    void bypass() override { stop(); }

    void loadFactoryPreset(platform::ReverbPreset preset);

    platform::ReverbUnit& reverbAU() const;

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
    std::shared_ptr<platform::AudioNode> avAudioNode_;
    float dryWetMix_ = 0.5f;
    bool isStarted_ = true;
};

} // namespace rozezeru
