#include "RozezEru/Nodes/Mixer.h"

#include "RozezEru/Internals/EngineConnections.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/MemoryAddress.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"

#include <algorithm>
#include <cmath>

namespace rozezeru {

Mixer::Mixer(float volume, std::optional<std::string> name)
    : mixerAU_(std::make_shared<platform::MixerNode>()), volume_(volume) {
    name_ = name ? std::move(*name) : MemoryAddress::addressString(this);
}

Mixer::Mixer(std::vector<std::shared_ptr<Node>> inputs, std::optional<std::string> name)
    : Mixer(1.0f, std::move(name)) {
    inputs_ = std::move(inputs);
}

Mixer::~Mixer() = default;

std::shared_ptr<platform::AudioNode> Mixer::avAudioNode() const {
    return mixerAU_;
}

void Mixer::setVolume(float volume) {
    volume_ = volume > 0.0f ? volume : 0.0f;
    mixerAU_->setOutputVolume(volume_);
}

void Mixer::setPan(float pan) {
    pan_ = std::isnan(pan) ? 0.0f : std::min(std::max(pan, -1.0f), 1.0f);
    mixerAU_->setPan(pan_);
}

bool Mixer::isStarted() const {
    return volume_ != 0.0f;
}

void Mixer::addInput(std::shared_ptr<Node> input, ConnectStrategy strategy) {
    if (!input) return;
    if (hasInput(*input)) {
        Log(LogSite("addInput(_:strategy:)"), "🛑 Error: Node is already connected to Mixer.");
        return;
    }
    platform::AudioEngine* engine = mixerAU_->engine();
    // Until its first input is connected, a running engine's empty mixer is fed by a dummy.
    std::shared_ptr<platform::AudioNode> dummy = engine ? initializeMixer(*engine, *mixerAU_) : nullptr;
    inputs_.push_back(input);
    if (dummy) engine->detach(*dummy);
    if (strategy == ConnectStrategy::complete)
        makeAVConnections();
    else
        makeAVConnections({input});
}

bool Mixer::hasInput(const Node& input) const {
    return std::any_of(inputs_.begin(), inputs_.end(),
                       [&](const auto& element) { return element.get() == &input; });
}

void Mixer::removeInput(const std::shared_ptr<Node>& input, DisconnectStrategy strategy) {
    if (!input || !hasInput(*input)) return;
    // `input` may be a reference into the list: keep the node alive while it is taken out.
    const std::shared_ptr<Node> removed = input;
    std::erase_if(inputs_, [&](const auto& element) { return element.get() == removed.get(); });
    if (strategy == DisconnectStrategy::recursive)
        disconnect(*removed);
    else
        removed->detach();
}

void Mixer::removeAllInputs() {
    const auto removed = inputs_;
    for (const auto& input : removed)
        disconnect(*input);
    inputs_.clear();
}

int Mixer::reserveInputBusses(int required) {
    return std::min(required, static_cast<int>(platform::MixerNode::maximumInputBusses));
}

} // namespace rozezeru
