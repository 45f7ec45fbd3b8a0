#pragma once
// The engine's two ends. OutputNode hands the audio of its input bus to the device (or to the offline
// caller), converting rate and channel count to the device's format. InputNode brings the device's input
// into the graph; offline, an input block supplies it. Both belong to their engine; configure them on
// the main thread.

#include "platform/audio/AudioNode.h"
#include "platform/foundation/Result.h"

#include <functional>

namespace platform {

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

    AudioFormat deviceFormat_;
    AudioFormat manualFormat_;
    ManualRenderingInputBlock manualBlock_;
};

} // namespace platform
