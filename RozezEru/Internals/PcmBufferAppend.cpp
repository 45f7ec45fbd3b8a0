#include "RozezEru/Internals/PcmBufferAppend.h"

#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"

#include <cstring>

namespace rozezeru {

namespace {

bool appendRefused(const char* reason) {
    Log(LogSite("append(_:startingFrame:frameCount:)", LogType::error),
        "🛑 Error: Cannot append frames:", reason);
    return false;
}

} // namespace

bool append(platform::PcmBuffer& buffer, const platform::PcmBuffer& source, std::int64_t startingFrame,
            std::uint32_t frameCount) {
    if (buffer.format() != source.format()) return appendRefused("the formats differ");
    if (!buffer.floatChannelData()) return appendRefused("the samples are not 32-bit float");
    if (startingFrame < 0 || startingFrame + std::int64_t(frameCount) > std::int64_t(source.frameLength()))
        return appendRefused("the frames lie outside the source");
    if (std::uint64_t(buffer.frameLength()) + frameCount > buffer.frameCapacity())
        return appendRefused("the buffer has no room for them");

    // Every channel: copying only the first two would lose a wider buffer's channels and read past a
    // mono buffer's only one.
    const std::size_t stride = buffer.stride();
    const std::size_t from = std::size_t(startingFrame) * stride;
    const std::size_t to = std::size_t(buffer.frameLength()) * stride;
    const std::size_t count = std::size_t(frameCount) * stride;
    for (std::uint32_t index = 0; index < buffer.format().bufferCount(); ++index)
        std::memcpy(buffer.floatChannelData()[index] + to, source.floatChannelData()[index] + from,
                    count * sizeof(float));
    buffer.setFrameLength(buffer.frameLength() + frameCount);
    return true;
}

bool append(platform::PcmBuffer& buffer, const platform::PcmBuffer& source) {
    return append(buffer, source, 0, source.frameLength());
}

} // namespace rozezeru
