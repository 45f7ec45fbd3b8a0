#include "RozezEru/Nodes/EnvironmentalNode.h"

#include "RozezEru/Nodes/Mixer3D.h"

namespace rozezeru {

EnvironmentalNode::EnvironmentalNode() : environment_(std::make_shared<platform::EnvironmentNode>()) {}

EnvironmentalNode::~EnvironmentalNode() = default;

void EnvironmentalNode::setAvAudioEnvironmentNode(std::shared_ptr<platform::EnvironmentNode> node) {
    if (node) environment_ = std::move(node);
}

platform::Audio3DPoint EnvironmentalNode::listenerPosition() const {
    return environment_->listenerPosition();
}
void EnvironmentalNode::setListenerPosition(platform::Audio3DPoint position) {
    environment_->setListenerPosition(position);
}
platform::Audio3DAngularOrientation EnvironmentalNode::listenerAngularOrientation() const {
    return environment_->listenerAngularOrientation();
}
void EnvironmentalNode::setListenerAngularOrientation(platform::Audio3DAngularOrientation orientation) {
    environment_->setListenerAngularOrientation(orientation);
}
platform::Audio3DVectorOrientation EnvironmentalNode::listenerVectorOrientation() const {
    return environment_->listenerVectorOrientation();
}
void EnvironmentalNode::setListenerVectorOrientation(platform::Audio3DVectorOrientation orientation) {
    environment_->setListenerVectorOrientation(orientation);
}
platform::AudioEnvironmentDistanceAttenuationParameters&
EnvironmentalNode::distanceAttenuationParameters() const {
    return environment_->distanceAttenuationParameters();
}
platform::AudioEnvironmentReverbParameters& EnvironmentalNode::reverbParameters() const {
    return environment_->reverbParameters();
}
float EnvironmentalNode::reverbBlend() const {
    return environment_->reverbBlend();
}
void EnvironmentalNode::setReverbBlend(float blend) {
    environment_->setReverbBlend(blend);
}
float EnvironmentalNode::outputVolume() const {
    return environment_->outputVolume();
}
void EnvironmentalNode::setOutputVolume(float volume) {
    environment_->setOutputVolume(volume);
}
platform::AudioEnvironmentOutputType EnvironmentalNode::outputType() const {
    return environment_->outputType();
}
void EnvironmentalNode::setOutputType(platform::AudioEnvironmentOutputType type) {
    environment_->setOutputType(type);
}
std::vector<platform::Audio3DMixingRenderingAlgorithm>
EnvironmentalNode::applicableRenderingAlgorithms() const {
    return environment_->applicableRenderingAlgorithms();
}
platform::Audio3DMixingRenderingAlgorithm EnvironmentalNode::renderingAlgorithm() const {
    return environment_->renderingAlgorithm();
}
void EnvironmentalNode::setRenderingAlgorithm(platform::Audio3DMixingRenderingAlgorithm algorithm) {
    environment_->setRenderingAlgorithm(algorithm);
}
std::uint32_t EnvironmentalNode::nextAvailableInputBus() const {
    return environment_->nextAvailableInputBus();
}

void EnvironmentalNode::connect(std::shared_ptr<Mixer3D> mixer3D) {
    if (mixer3D) inputs_.push_back(std::move(mixer3D));
}

void EnvironmentalNode::removeInputs() {
    inputs_.clear();
}

} // namespace rozezeru
