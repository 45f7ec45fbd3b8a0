#pragma once
// Shifts the pitch of its input without changing its speed, over the platform's pitch unit
// (NewPitchUnit, 'aufx' 'nutp' 'appl'). The pitch lives in the unit only. start(), stop() and bypass()
// work through the unit's bypass flag. Main thread.

#include "RozezEru/Nodes/Node.h"

#include <memory>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class NewPitch final : public Node {
public:
    // The unit is made synchronously; a missing component stops the program ("Unable to instantiate
    // AVAudioUnit"), as does a null input. The unit keeps its own starting pitch.
    explicit NewPitch(std::shared_ptr<Node> input);
    ~NewPitch() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {input_}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;

    // Cents: the unit's parameter 1 as it holds it; 0 when it cannot be read. A write goes to the unit as
    // given (the unit limits it); a refusal is ignored.
    float pitch() const;
    void setPitch(float cents);

private:
    std::shared_ptr<Node> input_;
    std::shared_ptr<platform::AudioUnitNode> pitchUnit_;
};

} // namespace rozezeru
