#pragma once
// Routes every input channel to every output channel with a gain of its own, through the platform's
// matrix mixer unit: input i of the list feeds input bus i, there is one output bus. Every volume
// starts at 0 but the master volume: unmuteAll() and the crosspoints open the way. Channel numbers
// count the channels of all inputs in list order. Main thread (volumes may be written while the engine
// renders and apply from its next cycle).

#include "RozezEru/Nodes/Node.h"

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <utility>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class MatrixMixer : public Node {
public:
    // Makes the unit ('aumx' 'mxmx' 'appl') with as many input busses as inputs; its absence stops the
    // program ("Unable to instantiate AVAudioUnit").
    explicit MatrixMixer(std::vector<std::shared_ptr<Node>> inputs);
    ~MatrixMixer() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return inputs_; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    const std::shared_ptr<platform::AudioUnitNode>& unit() const { return unit_; }

    // 0 when it cannot be read.
    float masterVolume() const;
    void setMasterVolume(float volume);
    // Every input-channel and output-channel volume to 1; master and crosspoints stay.
    void unmuteAll();
    // A channel outside 0…0xFFFFFFFF (for crosspoints 0…0xFFFF, so that no pair stands for another) is
    // logged and skipped, as the unit skips channels it does not have.
    void setInputChannelVolume(float volume, std::int64_t inputChannel);
    void setOutputChannelVolume(float volume, std::int64_t outputChannel);
    // The same volume on every (input channel, output channel) pair, in order.
    void setCrosspointsVolume(float volume,
                              const std::vector<std::pair<std::int64_t, std::int64_t>>& crosspoints);

    // The channels of the inputs' output busses 0, summed; the channels of the unit's output bus.
    std::uint32_t inputChannelCount() const;
    std::uint32_t outputChannelCount() const;
    // inputChannelCount() + 1 rows of outputChannelCount() + 1 values: row k < inputs holds input
    // channel k's crosspoints, then its volume; the last row the output volumes, then the master.
    // All zeros when the unit cannot give them.
    std::vector<std::vector<float>> levels() const;
    // "Input Channel 0 - [1.0, 0.0], Input Volume 1.0" per input row, then
    // "Output Volumes - [1.0, 1.0], Master Volume 1.0".
    void printLevels() const;
    void printLevels(std::ostream& out) const;

private:
    std::vector<std::shared_ptr<Node>> inputs_;
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

} // namespace rozezeru
