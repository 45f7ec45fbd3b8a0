#pragma once
// What a node may ask of the engine it is attached to: the connections of its busses, changes to
// them, and how the engine renders. Main thread, like every graph edit.

#include "platform/audio/AudioFormat.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

class AudioNode;

// One end of a connection: a node and one of its busses.
struct AudioConnectionPoint {
    AudioNode* node = nullptr;
    std::uint32_t bus = 0;
    friend bool operator==(const AudioConnectionPoint&, const AudioConnectionPoint&) = default;
};

class NodeGraph {
public:
    // The source feeding an input bus, if any.
    virtual std::optional<AudioConnectionPoint> inputConnectionPoint(const AudioNode& node,
                                                                     std::uint32_t bus) const = 0;
    // The destinations of an output bus, in the order they were connected.
    virtual std::vector<AudioConnectionPoint> outputConnectionPoints(const AudioNode& node,
                                                                     std::uint32_t bus) const = 0;
    // Fan-out: the source bus feeds exactly these points afterwards.
    virtual Result<void> connect(AudioNode& from, const std::vector<AudioConnectionPoint>& points,
                                 std::uint32_t fromBus, std::optional<AudioFormat> format) = 0;
    virtual void disconnectNodeInput(AudioNode& node, std::uint32_t bus) = 0;
    virtual void disconnectNodeOutput(AudioNode& node, std::uint32_t bus) = 0;

    virtual bool isInManualRenderingMode() const = 0;
    // Nonzero while the engine runs; changes with every start.
    virtual std::uint64_t renderGeneration() const = 0;
    // Publishes a new render plan after a node changed what its render states hold.
    virtual void graphChanged() = 0;

protected:
    ~NodeGraph() = default;
};

} // namespace platform
