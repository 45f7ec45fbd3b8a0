#pragma once
// The summing node: one platform mixer, its ordered list of inputs, and its volume and pan. Inputs
// may be added and removed while an engine runs. Main thread (volume and pan reach the platform
// mixer at once and may be written while the engine renders).

#include "RozezEru/Nodes/Node.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class MixerNode;
} // namespace platform

namespace rozezeru {

// How an added input is wired: `complete` walks every input again (existing ones keep their busses),
// `incremental` only the new one and its upstream chain.
enum class ConnectStrategy { complete = 0, incremental = 1 };

class Mixer : public Node, public NamedNode {
public:
    // The volume is kept as given, unlimited, and reaches the platform mixer only when the mixer is
    // wired or `volume` is written. Without a name the mixer is named by its address.
    explicit Mixer(float volume = 1.0f, std::optional<std::string> name = std::nullopt);
    // Volume 1 and these inputs, in order; nothing is attached or connected yet.
    explicit Mixer(std::vector<std::shared_ptr<Node>> inputs, std::optional<std::string> name = std::nullopt);
    ~Mixer() override;

    const std::shared_ptr<platform::MixerNode>& mixerAU() const { return mixerAU_; }

    // A direct write changes only the list, never the engine.
    const std::vector<std::shared_ptr<Node>>& inputs() const { return inputs_; }
    void setInputs(std::vector<std::shared_ptr<Node>> inputs) { inputs_ = std::move(inputs); }

    std::vector<std::shared_ptr<Node>> connections() const override { return inputs_; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;

    std::string name() const override { return name_; }
    void setName(const std::string& name) override { name_ = name; }

    float volume() const { return volume_; }
    // 0 or less (and not a number) stores 0; there is no upper limit.
    void setVolume(float volume);
    float pan() const { return pan_; }
    // Limited to [-1, 1]; not a number stores 0.
    void setPan(float pan);

    // Whether the volume is not 0; stop() does not change it.
    bool isStarted() const override;

    // Appends `input` and, when the mixer is in an engine, wires it. A running engine's mixer without
    // any connected input gets a dummy input for the moment between the two. An input already in the
    // list is refused with "🛑 Error: Node is already connected to Mixer.".
    virtual void addInput(std::shared_ptr<Node> input, ConnectStrategy strategy = ConnectStrategy::complete);
    bool hasInput(const Node& input) const;
    // Removes every entry that is `input` and takes it out of the engine by the strategy. Nothing
    // happens for a node that is not an input.
    virtual void removeInput(const std::shared_ptr<Node>& input,
                             DisconnectStrategy strategy = DisconnectStrategy::recursive);
    // Cuts every input off the mixer (each leaving the engine when it fed nothing else), then empties
    // the list.
    virtual void removeAllInputs();
    // How many input busses the mixer can take of the `required` ones: all of them up to
    // platform::MixerNode::maximumInputBusses, since its bus array grows as inputs are connected.
    virtual int reserveInputBusses(int required);

protected:
    std::optional<float> volumeWhenWired() const override { return volume_; }

private:
    std::shared_ptr<platform::MixerNode> mixerAU_;
    std::vector<std::shared_ptr<Node>> inputs_;
    std::string name_ = "(unset)";
    float volume_ = 1.0f;
    float pan_ = 0.0f;
};

} // namespace rozezeru
