#pragma once
// What a node's render call can reach during one cycle: its inputs (rendered on demand, once per cycle),
// its render state and the formats its busses had when the render plan was built. Render thread only.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioNode.h"

#include <cstdint>

namespace platform {

class RenderPlan;

// The facts of one render cycle, shared by every node rendered in it.
struct RenderCycle {
    std::uint64_t number = 0;
    AudioTime when;
    std::uint64_t generation = 0;
    bool offline = false;
    bool failed = false;
    bool insufficientInput = false;
};

class RenderContext {
public:
    // Renders what feeds input `bus` (unless it already rendered in this cycle) and points `data` at its
    // output: `frames` frames, one buffer per channel of the input's format. The data is read-only and
    // valid until the cycle ends. On notConnected or error `data` is null and the input counts as silence.
    RenderStatus pullInput(std::uint32_t bus, std::uint32_t frames, const AudioBufferList*& data);

    // The node's state made by makeRenderState for this plan (null when it has none).
    NodeRenderState* state() const;
    AudioFormat inputFormat(std::uint32_t bus) const;
    AudioFormat outputFormat(std::uint32_t bus) const;
    // The most frames this node can be asked to render in one cycle.
    std::uint32_t maximumFrames() const;
    const RenderCycle& cycle() const { return cycle_; }

    // For the input node of an offline engine whose input source ran dry.
    void reportInsufficientInput() { cycle_.insufficientInput = true; }

private:
    friend class RenderPlan;
    RenderContext(RenderPlan& plan, std::uint32_t node, RenderCycle& cycle)
        : plan_(plan), node_(node), cycle_(cycle) {}

    RenderPlan& plan_;
    std::uint32_t node_;
    RenderCycle& cycle_;
};

} // namespace platform
