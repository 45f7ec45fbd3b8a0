#pragma once
// The engine's two ends. OutputNode hands the audio of its input bus to the device (or to the offline
// caller), converting rate and channel count to the device's format. InputNode brings the device's
// captured input into the graph through a channel map; offline, an input block supplies it. Both belong
// to their engine; configure them on the main thread.

#include "platform/audio/AudioNode.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

class CaptureRing;

class OutputNode final : public AudioNode {
public:
    std::string typeName() const override { return "OutputNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;
    std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) override;
    std::uint32_t maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const override;

private:
    friend class AudioEngine;
    explicit OutputNode(const AudioFormat& deviceFormat);
    void setDeviceFormat(const AudioFormat& format);
};

class InputNode final : public AudioNode {
public:
    // Offline: called on the render thread for each cycle's input; returns `frames` frames in the
    // block's format, or null when there is no more input (the render then reports
    // insufficientDataFromInputNode and the input counts as silence).
    using ManualRenderingInputBlock = std::function<const AudioBufferList*(std::uint32_t frames)>;

    // The format of the block's audio becomes the node's output format; set it before connecting the
    // node. Fails for a format that is not non-interleaved float. Takes effect at the next start.
    Result<void> setManualRenderingInputBlock(const AudioFormat& format, ManualRenderingInputBlock block);

    // Which device input channel feeds each output channel: entry i is the 0-based device channel of
    // output channel i. Empty, the default, passes the device's channels in order. The node's output
    // format, and its connections, get one channel per entry. Fails, changing nothing, for an entry
    // that names no channel of the device's input. A running engine takes it at once.
    Result<void> setChannelMap(std::vector<std::int32_t> map);
    const std::vector<std::int32_t>& channelMap() const { return channelMap_; }

    // The device's input format: what the channel map chooses from.
    AudioFormat deviceFormat() const { return deviceFormat_; }
    // Render cycles whose captured input came up short since the engine last started capturing, and the
    // frames they lacked (played as silence). Main thread.
    std::uint64_t underruns() const;
    std::uint64_t missingFrames() const;

    std::string typeName() const override { return "InputNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;
    std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) override;

private:
    friend class AudioEngine;
    explicit InputNode(const AudioFormat& deviceFormat);
    void setDeviceFormat(const AudioFormat& format);
    AudioFormat mappedFormat() const;
    // The engine hands over the ring capture fills before it publishes the plan (null: not capturing).
    void setCaptureRing(std::shared_ptr<CaptureRing> ring) { ring_ = std::move(ring); }

    AudioFormat deviceFormat_;
    AudioFormat manualFormat_;
    ManualRenderingInputBlock manualBlock_;
    std::vector<std::int32_t> channelMap_;
    std::shared_ptr<CaptureRing> ring_;
};

} // namespace platform
