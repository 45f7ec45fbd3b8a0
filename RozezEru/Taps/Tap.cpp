#include "RozezEru/Taps/Tap.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Node.h"
#include "platform/audio/AudioNode.h"
#include "platform/dispatch/SerialQueue.h"

#include <algorithm>

namespace rozezeru {

void install(Node& node, std::shared_ptr<Tap> tap, std::uint32_t bufferSize) {
    const std::shared_ptr<platform::AudioNode> platformNode = node.avAudioNode();
    if (!platformNode->engine()) {
        Log(LogSite("install(tap:bufferSize:)"), "The tapped node isn't attached to the engine");
        return;
    }
    // One strand per install keeps the stream in order, where a task per buffer would reorder it.
    auto strand = std::make_shared<platform::SerialQueue>("Tap");
    const bool installed = platformNode->taps().install(
        0, bufferSize, platformNode->outputFormat(0),
        [tap = std::move(tap), strand](std::shared_ptr<platform::PcmBuffer> buffer,
                                       const platform::AudioTime& when) {
            strand->async([tap, buffer = std::move(buffer), when] { tap->receive(buffer, when); });
        });
    if (!installed) Log(LogSite("install(tap:bufferSize:)"), "Unable to install a tap on bus 0");
}

RawDataTap2::RawDataTap2(const std::shared_ptr<Node>&, Handler handler) : handler_(std::move(handler)) {}

void RawDataTap2::receive(const std::shared_ptr<platform::PcmBuffer>& buffer, const platform::AudioTime&) {
    const float* const* channels = buffer ? buffer->floatChannelData() : nullptr;
    if (!channels || buffer->format().isInterleaved()) return;
    // Only delivered frames, never more than the buffer holds.
    const std::uint32_t count = std::min(sampleCount, buffer->frameLength());
    const std::vector<float> samples(channels[0], channels[0] + count);
    if (handler_) handler_(samples);
}

} // namespace rozezeru
