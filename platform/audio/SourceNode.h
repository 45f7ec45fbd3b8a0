#pragma once
// A node that renders what a callback produces: the simplest source of audio for the graph (tones,
// test signals, generators). Made on the main thread; the callback runs on the render thread and must
// neither lock, allocate, do I/O nor log.

#include "platform/audio/AudioNode.h"

#include <functional>

namespace platform {

class SourceNode final : public AudioNode {
public:
    // Fills `frames` frames of `out` (one buffer per channel of the node's output format, which is the
    // format of its connection, `format` until connected otherwise); returns false when it could not.
    using RenderBlock =
        std::function<bool(const AudioTime& when, std::uint32_t frames, AudioBufferList& out)>;

    SourceNode(const AudioFormat& format, RenderBlock block);

    std::string typeName() const override { return "SourceNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;

private:
    const RenderBlock block_;
};

} // namespace platform
