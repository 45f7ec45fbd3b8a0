#pragma once
// The engine's immutable description of one graph for the render thread: the nodes that feed the
// output in dependency order, who feeds which input bus, every node's render state and one cached
// output buffer per node bus. Built on the main thread and published by pointer swap; while
// published only the render thread touches its caches. Internal to the engine.
//
// Buffers are handed on rather than copied: a bus with one consumer renders straight into the buffers
// that consumer offers (pullInputInto), and a node whose output is its input forwards the input's
// buffers (forwardInput), so what a bus delivers in a cycle may lie in its own buffers, in its
// consumer's or in those of a node further up.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/RenderContext.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

// One edge of the graph as the engine records it.
struct GraphConnection {
    AudioNode* source = nullptr;
    std::uint32_t sourceBus = 0;
    AudioNode* destination = nullptr;
    std::uint32_t destinationBus = 0;
    AudioFormat format;
};

class RenderPlan {
public:
    // Frames per cycle are limited to this whatever a node asks for, so a wrong estimate cannot
    // allocate without bound.
    static constexpr std::uint32_t frameCapacityLimit = 1u << 20;

    // `attached` owns every node the connections name; `previous` (may be null) lends its render states
    // unless `freshStates` is set. `alsoRender` (may be null) renders in every cycle, after the output,
    // whether or not it feeds the output: a live input keeps being read and its taps keep hearing it.
    static std::unique_ptr<RenderPlan> build(AudioNode& output,
                                             const std::vector<GraphConnection>& connections,
                                             const std::vector<std::shared_ptr<AudioNode>>& attached,
                                             std::uint32_t maximumFrames, const RenderPlan* previous,
                                             bool freshStates, AudioNode* alsoRender = nullptr);

    // Render thread: renders the output node straight into `out`.
    RenderStatus renderOutput(std::uint32_t frames, AudioBufferList& out, RenderCycle& cycle);

    std::uint32_t maximumFrames() const { return maximumFrames_; }
    // Main thread diagnostics: the frame capacity the plan gave a node (0 when it is not in the plan).
    std::uint32_t frameCapacity(const AudioNode& node) const;

private:
    friend class RenderContext;

    struct Output {
        AudioFormat format;
        // The bus's own buffers, and where its audio of the current cycle lies.
        AudioBufferList own;
        AudioBufferList view;
        // Input busses of the plan it feeds: with exactly one it may render into that consumer's buffers.
        std::uint32_t consumers = 0;
        std::uint64_t renderedCycle = 0;
        std::uint32_t renderedFrames = 0;
        RenderStatus status = RenderStatus::success;
    };
    struct Input {
        std::int32_t source = -1;
        std::uint32_t sourceBus = 0;
        AudioFormat format;
    };
    struct Node {
        AudioNode* node = nullptr;
        std::shared_ptr<AudioNode> owner;
        std::shared_ptr<NodeRenderState> state;
        std::uint32_t firstInput = 0, inputCount = 0;
        std::uint32_t firstOutput = 0, outputCount = 0;
        std::uint32_t capacity = 0;
        std::uint64_t timedCycle = 0;
    };

    RenderStatus renderBus(std::uint32_t node, std::uint32_t bus, std::uint32_t frames, RenderCycle& cycle,
                           const AudioBufferList*& data);
    RenderStatus renderBusInto(std::uint32_t node, std::uint32_t bus, std::uint32_t frames,
                               RenderCycle& cycle, AudioBufferList& into);
    // Renders into `view`, which starts as `destination`. Unless `fixed`, the node may point `view`
    // elsewhere; when fixed the audio ends in `destination` whatever the node did.
    RenderStatus callRender(std::uint32_t node, std::uint32_t bus, std::uint32_t frames,
                            AudioBufferList& destination, AudioBufferList& view, bool fixed,
                            RenderCycle& cycle);

    std::vector<Node> nodes_;
    std::vector<Input> inputs_;
    std::vector<Output> outputs_;
    std::unique_ptr<float[]> arena_;
    std::uint32_t outputNode_ = 0;
    std::int32_t alsoRender_ = -1;
    std::uint32_t maximumFrames_ = 0;
};

} // namespace platform
