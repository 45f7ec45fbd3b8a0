#pragma once
// One 3D environment of the graph: a listener into which Mixer3D inputs are mixed by where they are.
// The listener and output members read and write those of the platform environment node; the input
// list reaches the engine only when the chain is wired (each Mixer3D then joins in mono). Main thread.

#include "RozezEru/Nodes/Node.h"
#include "platform/audio/EnvironmentNode.h"

#include <memory>
#include <string>
#include <vector>

namespace rozezeru {

class Mixer3D;

class EnvironmentalNode : public Node, public NamedNode {
public:
    EnvironmentalNode();
    ~EnvironmentalNode() override;

    const std::shared_ptr<platform::EnvironmentNode>& avAudioEnvironmentNode() const { return environment_; }
    // Null is refused: a node always stands for a platform node.
    void setAvAudioEnvironmentNode(std::shared_ptr<platform::EnvironmentNode> node);

    const std::vector<std::shared_ptr<Node>>& inputs() const { return inputs_; }
    void setInputs(std::vector<std::shared_ptr<Node>> inputs) { inputs_ = std::move(inputs); }
    std::vector<std::shared_ptr<Node>> connections() const override { return inputs_; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return environment_; }

    std::string name() const override { return name_; }
    void setName(const std::string& name) override { name_ = name; }

    platform::Audio3DPoint listenerPosition() const;
    void setListenerPosition(platform::Audio3DPoint position);
    platform::Audio3DAngularOrientation listenerAngularOrientation() const;
    void setListenerAngularOrientation(platform::Audio3DAngularOrientation orientation);
    platform::Audio3DVectorOrientation listenerVectorOrientation() const;
    void setListenerVectorOrientation(platform::Audio3DVectorOrientation orientation);
    // The platform node's own objects: changes made through them apply at once.
    platform::AudioEnvironmentDistanceAttenuationParameters& distanceAttenuationParameters() const;
    platform::AudioEnvironmentReverbParameters& reverbParameters() const;
    float reverbBlend() const;
    void setReverbBlend(float blend);
    float outputVolume() const;
    void setOutputVolume(float volume);
    platform::AudioEnvironmentOutputType outputType() const;
    void setOutputType(platform::AudioEnvironmentOutputType type);
    std::vector<platform::Audio3DMixingRenderingAlgorithm> applicableRenderingAlgorithms() const;
    platform::Audio3DMixingRenderingAlgorithm renderingAlgorithm() const;
    void setRenderingAlgorithm(platform::Audio3DMixingRenderingAlgorithm algorithm);
    std::uint32_t nextAvailableInputBus() const;

    // Appends the mixer to the inputs (also when it is there already); nothing is connected here.
    void connect(std::shared_ptr<Mixer3D> mixer3D);
    // Empties the input list; nothing is disconnected in the engine.
    void removeInputs();

private:
    std::shared_ptr<platform::EnvironmentNode> environment_;
    std::vector<std::shared_ptr<Node>> inputs_;
    std::string name_ = "(unset)";
};

} // namespace rozezeru
