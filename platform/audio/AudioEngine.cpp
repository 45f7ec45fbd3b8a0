#include "platform/audio/AudioEngine.h"

#include "platform/audio/CaptureRing.h"
#include "platform/audio/DefaultOutputDevice.h"
#include "platform/audio/EnvironmentNode.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/RenderCycleHooks.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

Error engineError(std::string message) {
    return Error::make("AudioEngine", std::move(message));
}

bool engineAcceptsFormat(const AudioFormat& format) {
    return format.isValid() && format.commonFormat() == CommonFormat::pcmFloat32 && !format.isInterleaved();
}

} // namespace

AudioEngine::AudioEngine() : AudioEngine(makeDefaultOutputDevice()) {}

AudioEngine::AudioEngine(std::unique_ptr<AudioDevice> device) : device_(std::move(device)) {
    if (!device_) device_ = makeDefaultOutputDevice();
    output_.reset(new OutputNode(device_->outputFormat()));
    attachInternal(output_);
}

AudioEngine::~AudioEngine() {
    if (running_ && !manual_) device_->stop();
    stopCapture();
    running_ = false;
    activeGeneration_.store(0);
    retireAll();
    for (auto& node : nodes_) {
        node->engine_ = nullptr;
        node->graph_ = nullptr;
    }
}

// Graph -------------------------------------------------------------------------------------------

AudioNode* AudioEngine::attachInternal(std::shared_ptr<AudioNode> node) {
    node->engine_ = this;
    node->graph_ = this;
    nodes_.push_back(std::move(node));
    return nodes_.back().get();
}

Result<void> AudioEngine::attach(std::shared_ptr<AudioNode> node) {
    if (!node) return engineError("Cannot attach a null node");
    if (node->engine_ == this) return Result<void>();
    if (node->engine_) return engineError("The node is attached to another engine");
    attachInternal(std::move(node));
    return Result<void>();
}

void AudioEngine::detach(AudioNode& node) {
    if (node.engine_ != this || &node == output_.get()) return;
    std::erase_if(connections_,
                  [&](const GraphConnection& c) { return c.source == &node || c.destination == &node; });
    // Keep our reference until the new plan is out: the old one still holds its own.
    std::shared_ptr<AudioNode> keep;
    for (auto it = nodes_.begin(); it != nodes_.end(); ++it)
        if (it->get() == &node) {
            keep = *it;
            nodes_.erase(it);
            break;
        }
    node.engine_ = nullptr;
    node.graph_ = nullptr;
    if (&node == input_.get()) {
        stopCapture();
        input_.reset();
    }
    if (&node == mainMixer_.get()) mainMixer_.reset();
    graphChanged();
}

std::vector<AudioNode*> AudioEngine::attachedNodes() const {
    std::vector<AudioNode*> result;
    for (const auto& node : nodes_)
        result.push_back(node.get());
    return result;
}

bool AudioEngine::isAttached(const AudioNode& node) const {
    return node.engine_ == this;
}

void AudioEngine::removeConnectionsTo(AudioNode& node, std::uint32_t bus) {
    std::erase_if(connections_, [&](const GraphConnection& c) {
        return c.destination == &node && c.destinationBus == bus;
    });
}

void AudioEngine::removeConnectionsFrom(AudioNode& node, std::uint32_t bus) {
    std::erase_if(connections_,
                  [&](const GraphConnection& c) { return c.source == &node && c.sourceBus == bus; });
}

bool AudioEngine::feeds(const AudioNode& upstream, const AudioNode& downstream) const {
    std::vector<const AudioNode*> pending{&downstream};
    std::vector<const AudioNode*> seen;
    while (!pending.empty()) {
        const AudioNode* node = pending.back();
        pending.pop_back();
        if (node == &upstream) return true;
        if (std::find(seen.begin(), seen.end(), node) != seen.end()) continue;
        seen.push_back(node);
        for (const auto& c : connections_)
            if (c.destination == node) pending.push_back(c.source);
    }
    return false;
}

Result<AudioFormat> AudioEngine::connectionFormat(AudioNode& from, std::uint32_t fromBus, AudioNode& to,
                                                  std::uint32_t toBus,
                                                  const std::optional<AudioFormat>& format) const {
    if (format) {
        if (!engineAcceptsFormat(*format))
            return engineError("Connections carry non-interleaved 32-bit float, not " +
                               format->description());
        return *format;
    }
    if (engineAcceptsFormat(from.outputFormat(fromBus))) return from.outputFormat(fromBus);
    if (engineAcceptsFormat(to.inputFormat(toBus))) return to.inputFormat(toBus);
    return engineError("Neither bus has a format for the connection");
}

Result<void> AudioEngine::connect(AudioNode& from, AudioNode& to, std::uint32_t fromBus, std::uint32_t toBus,
                                  std::optional<AudioFormat> format) {
    return connect(from, std::vector<AudioConnectionPoint>{{&to, toBus}}, fromBus, format);
}

Result<void> AudioEngine::connect(AudioNode& from, AudioNode& to, std::optional<AudioFormat> format) {
    std::uint32_t toBus = 0;
    if (auto* mixer = dynamic_cast<MixerNode*>(&to)) toBus = mixer->nextAvailableInputBus();
    if (auto* environment = dynamic_cast<EnvironmentNode*>(&to)) toBus = environment->nextAvailableInputBus();
    return connect(from, to, 0, toBus, format);
}

Result<void> AudioEngine::connect(AudioNode& from, const std::vector<AudioConnectionPoint>& points,
                                  std::uint32_t fromBus, std::optional<AudioFormat> format) {
    if (from.engine_ != this) return engineError("The source node is not attached to this engine");
    if (&from == output_.get()) return engineError("The output node's output goes to the device");
    if (fromBus >= from.numberOfOutputs()) return engineError("The source node has no such output bus");
    for (const auto& point : points) {
        if (!point.node || point.node->engine_ != this)
            return engineError("The destination node is not attached to this engine");
        if (point.node == input_.get()) return engineError("The input node's input comes from the device");
        if (point.bus >= point.node->numberOfInputs() &&
            (!point.node->hasGrowableInputs() || point.bus >= MixerNode::maximumInputBusses))
            return engineError("The destination node has no such input bus");
        if (point.node == &from || feeds(*point.node, from))
            return engineError("The connection would make a cycle");
        for (const auto& other : points)
            if (&other != &point && other == point) return engineError("A connection point is listed twice");
    }
    if (points.empty()) {
        disconnectNodeOutput(from, fromBus);
        return Result<void>();
    }
    auto chosen = connectionFormat(from, fromBus, *points.front().node, points.front().bus, format);
    if (!chosen) return chosen.error();

    removeConnectionsFrom(from, fromBus);
    from.outputFormats_[fromBus] = *chosen;
    for (const auto& point : points) {
        removeConnectionsTo(*point.node, point.bus);
        if (point.bus >= point.node->numberOfInputs()) point.node->setNumberOfInputs(point.bus + 1);
        point.node->inputFormats_[point.bus] = *chosen;
        connections_.push_back({&from, fromBus, point.node, point.bus, *chosen});
    }
    graphChanged();
    return Result<void>();
}

void AudioEngine::disconnectNodeInput(AudioNode& node) {
    const auto before = connections_.size();
    std::erase_if(connections_, [&](const GraphConnection& c) { return c.destination == &node; });
    if (connections_.size() != before) graphChanged();
}

void AudioEngine::disconnectNodeInput(AudioNode& node, std::uint32_t bus) {
    const auto before = connections_.size();
    removeConnectionsTo(node, bus);
    if (connections_.size() != before) graphChanged();
}

void AudioEngine::disconnectNodeOutput(AudioNode& node) {
    const auto before = connections_.size();
    std::erase_if(connections_, [&](const GraphConnection& c) { return c.source == &node; });
    if (connections_.size() != before) graphChanged();
}

void AudioEngine::disconnectNodeOutput(AudioNode& node, std::uint32_t bus) {
    const auto before = connections_.size();
    removeConnectionsFrom(node, bus);
    if (connections_.size() != before) graphChanged();
}

std::optional<AudioConnectionPoint> AudioEngine::inputConnectionPoint(const AudioNode& node,
                                                                      std::uint32_t bus) const {
    for (const auto& c : connections_)
        if (c.destination == &node && c.destinationBus == bus)
            return AudioConnectionPoint{c.source, c.sourceBus};
    return std::nullopt;
}

std::vector<AudioConnectionPoint> AudioEngine::outputConnectionPoints(const AudioNode& node,
                                                                      std::uint32_t bus) const {
    std::vector<AudioConnectionPoint> points;
    for (const auto& c : connections_)
        if (c.source == &node && c.sourceBus == bus) points.push_back({c.destination, c.destinationBus});
    return points;
}

// Special nodes -----------------------------------------------------------------------------------

OutputNode& AudioEngine::outputNode() {
    return *output_;
}

InputNode& AudioEngine::inputNode() {
    if (!input_) {
        input_.reset(new InputNode(device_->inputFormat()));
        attachInternal(input_);
    }
    return *input_;
}

MixerNode& AudioEngine::mainMixerNode() {
    if (!mainMixer_) {
        mainMixer_ = std::make_shared<MixerNode>();
        attachInternal(mainMixer_);
        (void)connect(*mainMixer_, *output_, 0, 0, output_->outputFormat(0));
    }
    return *mainMixer_;
}

void AudioEngine::updateOutputFormats() {
    output_->setDeviceFormat(manual_ ? manualFormat_ : device_->outputFormat());
    if (input_) input_->setDeviceFormat(device_->inputFormat());
}

// Running -----------------------------------------------------------------------------------------

Result<void> AudioEngine::startCapture() {
    if (!input_ || manual_ || capturing_) return Result<void>();
    // A capture that fails to start leaves no ring behind: the node's counters start again with each.
    input_->setCaptureRing(nullptr);
    const AudioFormat format = device_->inputFormat();
    if (!format.isValid()) return noAudioInputError(device_->name());
    // Room for several of the longest cycles, so a late render thread loses nothing.
    const std::uint32_t capacity = 4 * std::max(device_->framesPerPeriod(), maximumFramesToRender);
    auto ring = std::make_shared<CaptureRing>(format.channelCount(), capacity, device_->captureLead());
    if (auto started = device_->startCapture(*ring); !started) return started.error();
    input_->setCaptureRing(std::move(ring));
    capturing_ = true;
    return Result<void>();
}

void AudioEngine::stopCapture() {
    if (!capturing_) return;
    device_->stopCapture();
    // The input node keeps the ring for its counters; the next start brings a fresh one.
    capturing_ = false;
}

Result<void> AudioEngine::start() {
    if (running_) return Result<void>();
    updateOutputFormats();
    deviceRate_ = device_->outputFormat().sampleRate();
    if (auto captured = startCapture(); !captured) return captured.error();
    activeGeneration_.store(++lastGeneration_);
    publish(false);
    if (manual_) {
        manualStarted_.store(true);
    } else if (auto started = device_->start(*this); !started) {
        activeGeneration_.store(0);
        retireAll();
        stopCapture();
        return started.error();
    }
    running_ = true;
    paused_ = false;
    return Result<void>();
}

void AudioEngine::pause() {
    if (!running_) return;
    if (!manual_) device_->stop();
    stopCapture();
    manualStarted_.store(false);
    running_ = false;
    paused_ = true;
    activeGeneration_.store(0);
    retireAll();
}

void AudioEngine::stop() {
    pause();
    paused_ = false;
    sampleTime_.store(0);
}

void AudioEngine::reset() {
    for (auto& node : nodes_)
        node->reset();
    if (running_)
        publish(true);
    else
        sampleTime_.store(0);
}

Result<void> AudioEngine::setOutputDevice(std::unique_ptr<AudioDevice> device) {
    if (!device) return engineError("No device given");
    const bool restart = running_ && !manual_;
    if (restart) device_->stop();
    stopCapture();
    device_ = std::move(device);
    updateOutputFormats();
    deviceRate_ = device_->outputFormat().sampleRate();
    if (!restart) return Result<void>();
    auto captured = startCapture();
    publish(false);
    if (auto started = captured ? device_->start(*this) : captured; !started) {
        running_ = false;
        activeGeneration_.store(0);
        retireAll();
        stopCapture();
        return started.error();
    }
    return Result<void>();
}

std::uint32_t AudioEngine::renderCapacity(const AudioNode& node) const {
    const RenderPlan* plan = plan_.load();
    return plan ? plan->frameCapacity(node) : 0;
}

// Plans -------------------------------------------------------------------------------------------

void AudioEngine::graphChanged() {
    if (running_) publish(false);
}

void AudioEngine::publish(bool freshStates) {
    const std::uint32_t frames = manual_ ? manualMaximumFrames_ : maximumFramesToRender;
    AudioNode* liveInput = input_ && !manual_ ? input_.get() : nullptr;
    std::unique_ptr<RenderPlan> plan =
        RenderPlan::build(*output_, connections_, nodes_, frames, plan_.load(), freshStates, liveInput);
    if (RenderPlan* old = plan_.exchange(plan.release())) retired_.push_back(old);
    reclaim();
}

void AudioEngine::reclaim() {
    // A plan the render thread announced before the swap may still be in use; everything else is free.
    const RenderPlan* inUse = planInUse_.load();
    std::erase_if(retired_, [&](RenderPlan* plan) {
        if (plan == inUse) return false;
        delete plan;
        return true;
    });
}

void AudioEngine::retireAll() {
    // Only when no render thread runs.
    if (RenderPlan* old = plan_.exchange(nullptr)) retired_.push_back(old);
    for (RenderPlan* plan : retired_)
        delete plan;
    retired_.clear();
}

RenderPlan* AudioEngine::acquirePlan() {
    // Hazard pointer: announce the plan, then check it is still the published one. Either the main
    // thread's swap comes first and the check fails, or reclaim() sees the announcement.
    RenderPlan* plan = plan_.load();
    for (;;) {
        planInUse_.store(plan);
        RenderPlan* again = plan_.load();
        if (again == plan) return plan;
        plan = again;
    }
}

// Rendering ---------------------------------------------------------------------------------------

RenderCycle AudioEngine::renderCycle(std::uint32_t frames, AudioBufferList& out, const AudioTime& when,
                                     bool offline) {
    RenderCycle cycle;
    cycle.number = ++cycleNumber_;
    cycle.when = when;
    cycle.generation = activeGeneration_.load(std::memory_order_relaxed);
    cycle.offline = offline;
    if (RenderPlan* plan = acquirePlan()) {
        plan->renderOutput(frames, out, cycle);
    } else {
        for (std::uint32_t b = 0; b < out.numberBuffers; ++b) {
            out.buffers[b].dataByteSize = frames * sizeof(float);
            std::memset(out.buffers[b].data, 0, frames * sizeof(float));
        }
    }
    planInUse_.store(nullptr);
    sampleTime_.fetch_add(frames, std::memory_order_relaxed);
    return cycle;
}

void AudioEngine::renderDevicePeriod(std::uint32_t frames, AudioBufferList& out, std::uint64_t hostTime) {
    callRenderCycleBeginHook();
    const double rate = deviceRate_;
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t count = std::min(frames - done, maximumFramesToRender);
        AudioBufferList& part = renderList_;
        assignBufferList(part, out);
        for (std::uint32_t b = 0; b < part.numberBuffers; ++b)
            part.buffers[b].data = static_cast<float*>(out.buffers[b].data) + done;
        const auto host = hostTime + std::uint64_t(double(done) * 1e9 / rate);
        renderCycle(count, part, AudioTime::withBoth(host, sampleTime_.load(std::memory_order_relaxed), rate),
                    false);
        done += count;
    }
    callRenderCycleEndHook();
}

Result<void> AudioEngine::enableManualRenderingMode(const AudioFormat& format,
                                                    std::uint32_t maximumFrameCount) {
    if (running_) return engineError("Stop the engine before switching to manual rendering");
    if (!engineAcceptsFormat(format))
        return engineError("Manual rendering needs non-interleaved 32-bit float, not " +
                           format.description());
    if (maximumFrameCount == 0 || maximumFrameCount > maximumManualFrameCount)
        return engineError("The maximum frame count must be between 1 and " +
                           std::to_string(maximumManualFrameCount));
    manualFormat_ = format;
    manualMaximumFrames_ = maximumFrameCount;
    manual_.store(true);
    paused_ = false;
    sampleTime_.store(0);
    updateOutputFormats();
    return Result<void>();
}

Result<void> AudioEngine::disableManualRenderingMode() {
    if (running_) return engineError("Stop the engine before leaving manual rendering");
    if (!manual_) return Result<void>();
    manual_.store(false);
    paused_ = false;
    sampleTime_.store(0);
    updateOutputFormats();
    return Result<void>();
}

Result<ManualRenderingStatus> AudioEngine::renderOffline(std::uint32_t frames, PcmBuffer& buffer) {
    if (!manual_.load()) return engineError("The engine is not in manual rendering mode");
    if (!manualStarted_.load()) return engineError("The engine is not running");
    if (frames > manualMaximumFrames_)
        return engineError("Cannot render more than " + std::to_string(manualMaximumFrames_) +
                           " frames at once");
    if (buffer.format() != manualFormat_)
        return engineError("The buffer's format " + buffer.format().description() +
                           " is not the manual rendering format " + manualFormat_.description());
    if (buffer.frameCapacity() < frames) return engineError("The buffer cannot hold the frames asked for");
    if (rendering_.exchange(true, std::memory_order_acquire))
        return ManualRenderingStatus::cannotDoInCurrentContext;

    callRenderCycleBeginHook();
    // Only the channels in use are described; the list's whole capacity is never copied or cleared.
    AudioBufferList& list = renderList_;
    list.numberBuffers = manualFormat_.channelCount();
    for (std::uint32_t c = 0; c < list.numberBuffers; ++c)
        list.buffers[c] = AudioBuffer{1, std::uint32_t(frames * sizeof(float)), buffer.channel(c)};
    const auto when =
        AudioTime::withSampleTime(sampleTime_.load(std::memory_order_relaxed), manualFormat_.sampleRate());
    const RenderCycle cycle = renderCycle(frames, list, when, true);
    buffer.setFrameLength(frames);
    callRenderCycleEndHook();
    rendering_.store(false, std::memory_order_release);

    if (cycle.failed) return ManualRenderingStatus::error;
    if (cycle.insufficientInput) return ManualRenderingStatus::insufficientDataFromInputNode;
    return ManualRenderingStatus::success;
}

} // namespace platform
