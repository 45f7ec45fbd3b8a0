#pragma once
// The engine graph: attached nodes, the connections between their busses, and the rendering of the
// graph through the output node, either by an output device's render thread or offline by the caller
// (manual rendering). Every member is for the one thread that configures the engine (the main thread),
// except renderOffline(), whose caller becomes the render thread.
//
// Each graph edit publishes a new immutable render plan by pointer swap; the render thread picks up
// the newest plan at the start of a cycle and never waits for the main thread. Old plans are freed on
// the main thread once the render thread has left them.

#include "platform/audio/AudioDevice.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/NodeGraph.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/RenderPlan.h"
#include "platform/foundation/Result.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

class InputNode;
class MixerNode;
class OutputNode;

enum class ManualRenderingStatus {
    error = -1,
    success = 0,
    insufficientDataFromInputNode = 1,
    cannotDoInCurrentContext = 2,
};

class AudioEngine final : private NodeGraph, private AudioDevice::Client {
public:
    // Frames one device cycle renders at most; longer device periods are rendered in several cycles.
    static constexpr std::uint32_t maximumFramesToRender = 4096;
    // The largest maximum frame count manual rendering accepts.
    static constexpr std::uint32_t maximumManualFrameCount = 65536;

    // Plays through makeDefaultOutputDevice().
    AudioEngine();
    explicit AudioEngine(std::unique_ptr<AudioDevice> device);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Takes shared ownership. Attaching a node twice is harmless; a node of another engine is refused.
    Result<void> attach(std::shared_ptr<AudioNode> node);
    // Breaks the node's connections and releases it. The output, input and main mixer nodes stay.
    void detach(AudioNode& node);
    std::vector<AudioNode*> attachedNodes() const;
    bool isAttached(const AudioNode& node) const;

    // Connects output bus `fromBus` of `from` to input bus `toBus` of `to`, breaking any connection
    // of either bus. Without a format the source bus's format is used (or the destination bus's).
    // Fails for unattached nodes, busses out of range, a format that is not non-interleaved float,
    // and connections that would close a cycle.
    Result<void> connect(AudioNode& from, AudioNode& to, std::uint32_t fromBus, std::uint32_t toBus,
                         std::optional<AudioFormat> format);
    // Bus 0 to bus 0, or to the next available input bus when `to` is a mixer or an environment node.
    Result<void> connect(AudioNode& from, AudioNode& to, std::optional<AudioFormat> format);
    // Fan-out: the source bus feeds exactly these points afterwards.
    Result<void> connect(AudioNode& from, const std::vector<AudioConnectionPoint>& points,
                         std::uint32_t fromBus, std::optional<AudioFormat> format) override;

    void disconnectNodeInput(AudioNode& node);
    void disconnectNodeInput(AudioNode& node, std::uint32_t bus) override;
    void disconnectNodeOutput(AudioNode& node);
    void disconnectNodeOutput(AudioNode& node, std::uint32_t bus) override;

    // The source feeding an input bus, if any.
    std::optional<AudioConnectionPoint> inputConnectionPoint(const AudioNode& node,
                                                             std::uint32_t bus) const override;
    // The destinations of an output bus, in the order they were connected.
    std::vector<AudioConnectionPoint> outputConnectionPoints(const AudioNode& node,
                                                             std::uint32_t bus) const override;

    // Starts the device (or, in manual rendering mode, makes renderOffline() possible). With an input
    // node it also starts the device's capture, and fails, starting nothing, when the device has no
    // input or it cannot be opened.
    Result<void> start();
    // Stops rendering and restarts the sample timeline at 0 for the next start.
    void stop();
    // Stops rendering but keeps the sample timeline.
    void pause();
    // Clears every node's state (filter and resampler histories). While stopped it also restarts the
    // sample timeline at 0.
    void reset();
    bool isRunning() const { return running_; }

    // Always attached; its output bus has the device's format (or the manual rendering format).
    OutputNode& outputNode();
    // Made and attached on first use; delivers the device's input from the next start on (start() fails
    // on a device without input while the node is attached). Rendered in every cycle, so its taps hear
    // the input whether or not it feeds the output.
    InputNode& inputNode();
    // Made on first use, attached and connected to the output node in the output node's format.
    MixerNode& mainMixerNode();

    // Offline manual rendering: the caller pulls audio with renderOffline(). Only while stopped.
    Result<void> enableManualRenderingMode(const AudioFormat& format, std::uint32_t maximumFrameCount);
    Result<void> disableManualRenderingMode();
    bool isInManualRenderingMode() const override { return manual_.load(); }
    AudioFormat manualRenderingFormat() const { return manualFormat_; }
    std::uint32_t manualRenderingMaximumFrameCount() const { return manualMaximumFrames_; }
    // Renders `frames` frames into `buffer` (which must have the manual rendering format and room for
    // them) and sets its frame length. Fails when the engine is not in manual rendering mode, not
    // started, or the request does not fit. cannotDoInCurrentContext when another render is under way.
    Result<ManualRenderingStatus> renderOffline(std::uint32_t frames, PcmBuffer& buffer);
    // Frames rendered offline since manual rendering was enabled (or the engine stopped or was reset).
    std::int64_t manualRenderingSampleTime() const { return sampleTime_.load(); }

    AudioDevice& outputDevice() { return *device_; }
    std::uint32_t outputDeviceID() const { return device_->deviceID(); }
    // Replaces the device; a running engine is restarted on the new one.
    Result<void> setOutputDevice(std::unique_ptr<AudioDevice> device);

    // The frames the current plan lets a node render per cycle (0 when it is not rendered): how much
    // its consumers may pull from it. For tests and diagnostics.
    std::uint32_t renderCapacity(const AudioNode& node) const;

    // Nonzero while the engine runs; changes with every start (see AudioNode::lastRenderTime).
    std::uint64_t renderGeneration() const override { return activeGeneration_.load(); }

private:
    void renderDevicePeriod(std::uint32_t frames, AudioBufferList& out, std::uint64_t hostTime) override;
    RenderCycle renderCycle(std::uint32_t frames, AudioBufferList& out, const AudioTime& when, bool offline);

    AudioNode* attachInternal(std::shared_ptr<AudioNode> node);
    void removeConnectionsTo(AudioNode& node, std::uint32_t bus);
    void removeConnectionsFrom(AudioNode& node, std::uint32_t bus);
    bool feeds(const AudioNode& upstream, const AudioNode& downstream) const;
    Result<AudioFormat> connectionFormat(AudioNode& from, std::uint32_t fromBus, AudioNode& to,
                                         std::uint32_t toBus, const std::optional<AudioFormat>& format) const;
    void updateOutputFormats();
    Result<void> startCapture();
    void stopCapture();
    void graphChanged() override;
    void publish(bool freshStates);
    void retireAll();
    void reclaim();
    RenderPlan* acquirePlan();

    std::unique_ptr<AudioDevice> device_;
    std::vector<std::shared_ptr<AudioNode>> nodes_;
    std::vector<GraphConnection> connections_;
    std::shared_ptr<OutputNode> output_;
    std::shared_ptr<InputNode> input_;
    std::shared_ptr<MixerNode> mainMixer_;
    // Whether the device fills the input node's ring: the engine runs live with an input node.
    bool capturing_ = false;

    bool running_ = false;
    bool paused_ = false;
    std::atomic<bool> manual_{false};
    std::atomic<bool> manualStarted_{false};
    AudioFormat manualFormat_;
    std::uint32_t manualMaximumFrames_ = 0;

    // Plans: the published one, the one the render thread is in (hazard), and retired ones waiting
    // to be freed on the main thread.
    std::atomic<RenderPlan*> plan_{nullptr};
    std::atomic<RenderPlan*> planInUse_{nullptr};
    std::vector<RenderPlan*> retired_;

    double deviceRate_ = 44100.0; // read by the device thread, written only while it is stopped
    std::atomic<bool> rendering_{false};
    std::atomic<std::int64_t> sampleTime_{0};
    std::uint64_t cycleNumber_ = 0; // render thread
    AudioBufferList renderList_;    // render thread: the buffers of the cycle under way
    std::atomic<std::uint64_t> activeGeneration_{0};
    std::uint64_t lastGeneration_ = 0;
};

} // namespace platform
