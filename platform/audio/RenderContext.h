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
    // Brings input `bus` into the buffers of `into` (room for `frames` frames each), for a node that
    // processes in place: the input renders straight into them when this node is its only consumer, and
    // is copied otherwise. Channels the input lacks, or all of them when it fails, are silent.
    RenderStatus pullInputInto(std::uint32_t bus, std::uint32_t frames, AudioBufferList& into);
    // For a node whose output is its input as it is (a pass-through, a bypass): makes `out`, the list
    // render() was given, carry input `bus`. Where the engine lets the node hand its output on, `out` is
    // pointed at the input's buffers and nothing is copied (they are then read-only for this node);
    // otherwise as pullInputInto.
    RenderStatus forwardInput(std::uint32_t bus, std::uint32_t frames, AudioBufferList& out);

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
    RenderStatus pullInto(std::uint32_t bus, std::uint32_t frames, AudioBufferList& into);

    RenderContext(RenderPlan& plan, std::uint32_t node, RenderCycle& cycle, AudioBufferList& output,
                  bool fixed)
        : plan_(plan), node_(node), cycle_(cycle), output_(output), fixed_(fixed) {}

    RenderPlan& plan_;
    std::uint32_t node_;
    RenderCycle& cycle_;
    // The list the node renders into, and whether its buffers must receive the audio.
    AudioBufferList& output_;
    bool fixed_;
};

} // namespace platform
