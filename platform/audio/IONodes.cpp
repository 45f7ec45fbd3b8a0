#include "platform/audio/IONodes.h"

#include "platform/audio/CaptureRing.h"
#include "platform/audio/InputConverter.h"
#include "platform/audio/RenderContext.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <utility>

namespace platform {

namespace {

struct OutputRenderState final : NodeRenderState {
    std::shared_ptr<InputConverter> converter;
};

struct InputRenderState final : NodeRenderState {
    bool offline = false;
    InputNode::ManualRenderingInputBlock block;
    std::shared_ptr<CaptureRing> ring;
    std::array<std::int32_t, AudioFormat::maxChannels> map{};
    std::uint32_t mapSize = 0;
};

void ioSilence(AudioBufferList& out, std::uint32_t frames) {
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
        std::memset(out.floatData(c), 0, frames * sizeof(float));
}

} // namespace

OutputNode::OutputNode(const AudioFormat& deviceFormat) : AudioNode(1, 1) {
    setDefaultInputFormat(0, deviceFormat);
    setDefaultOutputFormat(0, deviceFormat);
}

void OutputNode::setDeviceFormat(const AudioFormat& format) {
    setDefaultOutputFormat(0, format);
    if (!graph() || !graph()->inputConnectionPoint(*this, 0)) setDefaultInputFormat(0, format);
}

std::uint32_t OutputNode::maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const {
    return InputConverter::maximumInputFrames(inputFormat(bus), outputFormat(0), outputFrames);
}

std::shared_ptr<NodeRenderState>
OutputNode::makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) {
    if (!graph() || !graph()->inputConnectionPoint(*this, 0)) return nullptr;
    const AudioFormat from = inputFormat(0);
    const AudioFormat to = outputFormat(0);
    if (const auto* old = dynamic_cast<const OutputRenderState*>(previous.get()))
        if (old->converter->from() == from && old->converter->to() == to &&
            old->converter->maximumOutputFrames() >= maximumFrames)
            return previous;
    auto state = std::make_shared<OutputRenderState>();
    state->converter = InputConverter::make(from, to, maximumFrames);
    return state->converter ? state : nullptr;
}

RenderStatus OutputNode::render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                                const AudioTime&, std::uint32_t) {
    auto* state = static_cast<OutputRenderState*>(context.state());
    if (!state) {
        ioSilence(out, frames);
        return RenderStatus::success;
    }
    // In the device's format already: what feeds the node renders straight into the device's buffer.
    if (state->converter->passesThrough() && frames <= state->converter->maximumOutputFrames()) {
        context.forwardInput(0, frames, out);
        return RenderStatus::success;
    }
    static constexpr float unity[AudioFormat::maxChannels] = {
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    state->converter->renderInto(context, 0, frames, out, unity);
    return RenderStatus::success;
}

InputNode::InputNode(const AudioFormat& deviceFormat) : AudioNode(1, 1), deviceFormat_(deviceFormat) {
    setDefaultInputFormat(0, deviceFormat);
    setDefaultOutputFormat(0, deviceFormat);
}

void InputNode::setDeviceFormat(const AudioFormat& format) {
    deviceFormat_ = format;
    setDefaultInputFormat(0, format);
    const bool manual = graph() && graph()->isInManualRenderingMode() && manualFormat_.isValid();
    setDefaultOutputFormat(0, manual ? manualFormat_ : mappedFormat());
}

AudioFormat InputNode::mappedFormat() const {
    if (channelMap_.empty()) return deviceFormat_;
    return AudioFormat::standard(deviceFormat_.sampleRate(), std::uint32_t(channelMap_.size()))
        .value_or(deviceFormat_);
}

Result<void> InputNode::setChannelMap(std::vector<std::int32_t> map) {
    const std::uint32_t channels = deviceFormat_.isValid() ? deviceFormat_.channelCount() : 0;
    if (map.size() > AudioFormat::maxChannels)
        return Error::make("InputNode", "A channel map has at most " +
                                            std::to_string(AudioFormat::maxChannels) + " entries");
    for (std::int32_t channel : map)
        if (channel < 0 || std::uint32_t(channel) >= channels)
            return Error::make("InputNode", "The device's input has no channel " + std::to_string(channel) +
                                                " (it has " + std::to_string(channels) + ")");
    if (map == channelMap_) return Result<void>();
    std::vector<std::int32_t> previous = std::exchange(channelMap_, std::move(map));
    setDeviceFormat(deviceFormat_);
    if (!graph()) return Result<void>();
    // The node's consumers must take the new channel count: its connections are made again in it.
    if (auto points = graph()->outputConnectionPoints(*this, 0); !points.empty()) {
        auto connected = graph()->connect(*this, points, 0, outputFormat(0));
        if (!connected) {
            channelMap_ = std::move(previous);
            setDeviceFormat(deviceFormat_);
        }
        return connected;
    }
    graph()->graphChanged();
    return Result<void>();
}

std::uint64_t InputNode::underruns() const {
    return ring_ ? ring_->underruns() : 0;
}

std::uint64_t InputNode::missingFrames() const {
    return ring_ ? ring_->missingFrames() : 0;
}

Result<void> InputNode::setManualRenderingInputBlock(const AudioFormat& format,
                                                     ManualRenderingInputBlock block) {
    if (!format.isValid() || format.commonFormat() != CommonFormat::pcmFloat32 || format.isInterleaved())
        return Error::make("InputNode", "The input block's format must be non-interleaved 32-bit float");
    manualFormat_ = format;
    manualBlock_ = std::move(block);
    setDeviceFormat(deviceFormat_);
    return Result<void>();
}

std::shared_ptr<NodeRenderState> InputNode::makeRenderState(std::uint32_t,
                                                            const std::shared_ptr<NodeRenderState>&) {
    auto state = std::make_shared<InputRenderState>();
    state->offline = graph() && graph()->isInManualRenderingMode();
    if (state->offline) state->block = manualBlock_;
    if (!state->offline) state->ring = ring_;
    state->mapSize = std::uint32_t(channelMap_.size());
    std::copy(channelMap_.begin(), channelMap_.end(), state->map.begin());
    return state;
}

namespace {

// Each device channel is read once, into the first output channel it feeds; others get a copy.
void inputReadMapped(CaptureRing& ring, const InputRenderState& state, std::uint32_t frames,
                     AudioBufferList& out) {
    std::array<float*, AudioFormat::maxChannels> destinations{};
    std::array<std::int32_t, AudioFormat::maxChannels> sources{};
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
        const std::int32_t source = state.mapSize ? (c < state.mapSize ? state.map[c] : -1) : std::int32_t(c);
        sources[c] = source >= 0 && std::uint32_t(source) < ring.channelCount() ? source : -1;
        if (sources[c] >= 0 && !destinations[std::size_t(sources[c])])
            destinations[std::size_t(sources[c])] = out.floatData(c);
    }
    ring.read(destinations.data(), frames);
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
        if (sources[c] < 0)
            std::memset(out.floatData(c), 0, frames * sizeof(float));
        else if (const float* read = destinations[std::size_t(sources[c])]; read != out.floatData(c))
            std::memcpy(out.floatData(c), read, frames * sizeof(float));
    }
}

} // namespace

RenderStatus InputNode::render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                               const AudioTime&, std::uint32_t) {
    auto* state = static_cast<InputRenderState*>(context.state());
    if (state && state->ring) {
        inputReadMapped(*state->ring, *state, frames, out);
        return RenderStatus::success;
    }
    ioSilence(out, frames);
    // A live engine without a capture ring has refused to start with input, or the node was made while
    // it ran and captures from the next start.
    if (!state || !state->offline || !state->block) return RenderStatus::success;
    const AudioBufferList* input = state->block(frames);
    if (!input) {
        context.reportInsufficientInput();
        return RenderStatus::success;
    }
    for (std::uint32_t c = 0; c < std::min(out.numberBuffers, input->numberBuffers); ++c) {
        const std::uint32_t available =
            std::min<std::uint32_t>(frames, input->buffers[c].dataByteSize / sizeof(float));
        if (available < frames) context.reportInsufficientInput();
        std::memcpy(out.floatData(c), input->floatData(c), available * sizeof(float));
    }
    return RenderStatus::success;
}

} // namespace platform
