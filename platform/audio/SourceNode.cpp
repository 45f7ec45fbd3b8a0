#include "platform/audio/SourceNode.h"

namespace platform {

SourceNode::SourceNode(const AudioFormat& format, RenderBlock block)
    : AudioNode(0, 1), block_(std::move(block)) {
    setDefaultOutputFormat(0, format);
}

RenderStatus SourceNode::render(RenderContext&, std::uint32_t frames, AudioBufferList& out,
                                const AudioTime& when, std::uint32_t) {
    if (!block_) return RenderStatus::error;
    return block_(when, frames, out) ? RenderStatus::success : RenderStatus::error;
}

} // namespace platform
