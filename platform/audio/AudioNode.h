#pragma once
// The base of every node of the engine graph: busses with formats, the engine it is attached to, its
// last render time and the render call that the engine makes once per cycle. Formats, attachment
// and render states belong to the main thread; render() runs on the render thread.

#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioTap.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/NodeGraph.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class AudioEngine;
class AudioNode;
class RenderContext;

enum class RenderStatus {
    success,
    // The input bus that was pulled has no connection; the node should treat it as silence.
    notConnected,
    // The node (or the input that was pulled) could not render; its buffer holds silence.
    error,
};

// What a node needs to render, kept by the render plan and handed back through the render context.
// Made on the main thread; once the plan is published only the render thread touches its contents.
class NodeRenderState {
public:
    virtual ~NodeRenderState() = default;
};

class AudioNode {
public:
    virtual ~AudioNode();
    AudioNode(const AudioNode&) = delete;
    AudioNode& operator=(const AudioNode&) = delete;

    std::uint32_t numberOfInputs() const { return std::uint32_t(inputFormats_.size()); }
    std::uint32_t numberOfOutputs() const { return std::uint32_t(outputFormats_.size()); }
    // The format of a bus: the format of its connection, or the node's default. Invalid for an unknown bus.
    AudioFormat inputFormat(std::uint32_t bus) const;
    AudioFormat outputFormat(std::uint32_t bus) const;

    // The engine the node is attached to, or null.
    AudioEngine* engine() const { return engine_; }

    // The time of the cycle in which the node last rendered, on the engine's sample timeline (and with a
    // host time when a device drives the engine). Empty while the engine is not running or before the
    // node rendered since the engine started. Main thread.
    std::optional<AudioTime> lastRenderTime() const;

    // Clears what the node keeps between cycles (the engine also gives it fresh render states).
    // Main thread.
    virtual void reset() {}

    // A short name for diagnostics ("MixerNode", "SourceNode" ...).
    virtual std::string typeName() const { return "AudioNode"; }

    // The taps on the node's output busses (any thread but the render thread).
    AudioNodeTaps& taps() const { return taps_; }

protected:
    AudioNode(std::uint32_t inputs, std::uint32_t outputs);

    // The engine the node is attached to, as far as the node's own bookkeeping needs it; or null.
    NodeGraph* graph() const { return graph_; }

    // Render thread. Fills `frames` frames of output bus `bus` into `out` (one buffer per channel of
    // the bus's format, each `frames` long). Pull inputs through `context`. Runs at most once per cycle
    // and bus; the engine keeps the result for every consumer of the bus. Must not lock, allocate,
    // do I/O or log.
    virtual RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                                const AudioTime& when, std::uint32_t bus) = 0;

    // Main thread, while the engine builds a render plan: the state render() will find in its context,
    // for the node's current formats and connections, able to serve cycles of up to `maximumFrames`.
    // `previous` is the state of the plan in use, which the render thread may be using right now: it
    // may be returned again (or parts of it shared) when still fit, but its mutable contents must not
    // be touched. The default has no state.
    virtual std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous);

    // Main thread: the most frames this node pulls from input `bus` in a cycle of `outputFrames`, so
    // the engine can size the buffers upstream. The default pulls as many frames as it renders.
    virtual std::uint32_t maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const;

    // Whether connecting beyond the last input bus adds busses (mixers) instead of failing.
    virtual bool hasGrowableInputs() const { return false; }

    void setDefaultInputFormat(std::uint32_t bus, const AudioFormat& format);
    void setDefaultOutputFormat(std::uint32_t bus, const AudioFormat& format);
    // Busses beyond the count go with their connections (main thread).
    void setNumberOfInputs(std::uint32_t count);
    void setNumberOfOutputs(std::uint32_t count);

private:
    friend class AudioEngine;
    friend class RenderPlan;

    void recordRenderTime(const AudioTime& when, std::uint64_t generation);

    AudioEngine* engine_ = nullptr;
    // The same engine, seen as the graph the node asks about its connections; set with engine_.
    NodeGraph* graph_ = nullptr;
    std::vector<AudioFormat> inputFormats_;
    std::vector<AudioFormat> outputFormats_;

    // Written by the render thread, read anywhere: a sequence lock over the fields below.
    std::atomic<std::uint32_t> timeSequence_{0};
    std::atomic<std::int64_t> renderSampleTime_{0};
    std::atomic<std::uint64_t> renderHostTime_{0};
    std::atomic<double> renderSampleRate_{0.0};
    std::atomic<bool> renderHostTimeValid_{false};
    std::atomic<std::uint64_t> renderGeneration_{0};

    mutable AudioNodeTaps taps_;
};

} // namespace platform
