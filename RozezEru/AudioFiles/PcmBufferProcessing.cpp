#include "RozezEru/AudioFiles/PcmBufferProcessing.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/AudioFiles/PcmSampleAccess.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/PcmBufferAppend.h"
#include "platform/audio/PcmBuffer.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace rozezeru {

namespace {

constexpr std::uint32_t processingPeakBlockFrames = 512;

// Multiplies every channel of each frame by the next gain of the curve, which starts at `gain` and
// is stepped (added to, or multiplied by, `step`) and limited to [0, 1] before each frame.
void processingApplyRamp(platform::PcmBuffer& segment, double gain, double step, bool linear) {
    for (std::uint32_t i = 0; i < segment.frameLength(); ++i) {
        gain = linear ? gain + step : gain * step;
        if (gain > 1.0) gain = 1.0;
        if (!(gain > 0.0)) gain = 0.0;
        for (std::uint32_t c = 0; c < segment.format().channelCount(); ++c)
            *pcmsample::pointer(segment, c, i) *= float(gain);
    }
}

} // namespace

std::optional<Peak> peak(const platform::PcmBuffer& buffer) {
    const std::uint32_t length = buffer.frameLength();
    if (length == 0 || !buffer.floatChannelData()) return std::nullopt;
    float best = -10000.0f;
    Peak result;
    std::array<float, processingPeakBlockFrames> block;
    for (std::uint64_t start = 0; start < length; start += processingPeakBlockFrames) {
        const auto count = std::uint32_t(std::min<std::uint64_t>(processingPeakBlockFrames, length - start));
        for (std::uint32_t c = 0; c < buffer.format().channelCount(); ++c) {
            block.fill(0.0f);
            for (std::uint32_t k = 0; k < count; ++k)
                block[k] = pcmsample::read(buffer, c, std::uint32_t(start + k));
            float level = -10000.0f;
            for (float value : block)
                if (level <= std::fabs(value)) level = std::fabs(value);
            if (level > best) {
                best = level;
                result.framePosition = std::int64_t(start);
                result.time = double(start) / buffer.format().sampleRate();
            }
        }
    }
    result.amplitude = best;
    return result;
}

std::shared_ptr<const platform::PcmBuffer> fade(const std::shared_ptr<const platform::PcmBuffer>& buffer,
                                                double inTime, double outTime, bool linearRamp) {
    if (!buffer) return nullptr;
    const double rate = buffer->format().sampleRate();
    if (!(inTime > 0.0)) inTime = 0.0;
    if (!(outTime > 0.0)) outTime = 0.0;
    const double total = rate > 0.0 ? double(buffer->frameLength()) / rate : 0.0;
    // Overlapping fades would need more frames than the buffer has: they meet instead.
    if (inTime + outTime > total) {
        const double scale = total / (inTime + outTime);
        inTime *= scale;
        outTime *= scale;
    }
    // A fade shorter than one frame has no frame to act on.
    if (inTime * rate < 1.0) inTime = 0.0;
    if (outTime * rate < 1.0) outTime = 0.0;
    if (!buffer->floatChannelData() || (inTime == 0.0 && outTime == 0.0)) {
        Log(LogSite("fade(inTime:outTime:linearRamp:)"), "Error fading buffer, returning original...");
        return buffer;
    }

    // An end time of 0 is the buffer's end, which seconds times rate may miss by a rounding.
    const double outStart = total - outTime;
    std::unique_ptr<platform::PcmBuffer> fadeIn =
        inTime > 0.0 ? extract(*buffer, 0.0, inTime < total ? inTime : 0.0) : nullptr;
    std::unique_ptr<platform::PcmBuffer> fadeOut = outTime > 0.0 ? extract(*buffer, outStart, 0.0) : nullptr;
    std::unique_ptr<platform::PcmBuffer> middle;
    if (inTime < outStart && std::uint64_t(outStart * rate) > std::uint64_t(inTime * rate))
        middle = extract(*buffer, inTime, outTime > 0.0 ? outStart : 0.0);

    if (fadeIn) {
        const double step =
            linearRamp ? 1.0 / (rate * inTime) : std::exp(2.302585092994046 / (rate * inTime));
        processingApplyRamp(*fadeIn, 0.01, step, linearRamp);
    }
    if (fadeOut) {
        const double step =
            linearRamp ? -1.0 / (rate * outTime) : std::exp(-3.2188758248682006 / (rate * outTime));
        processingApplyRamp(*fadeOut, 1.0, step, linearRamp);
    }

    std::shared_ptr<platform::PcmBuffer> result =
        platform::PcmBuffer::make(buffer->format(), buffer->frameCapacity());
    if (!result) return nullptr;
    for (const auto* segment : {fadeIn.get(), middle.get(), fadeOut.get()})
        if (segment) (void)append(*result, *segment);
    return result;
}

std::shared_ptr<const platform::PcmBuffer>
normalize(const std::shared_ptr<const platform::PcmBuffer>& buffer) {
    if (!buffer) return nullptr;
    if (!buffer->floatChannelData()) return buffer;
    std::shared_ptr<platform::PcmBuffer> result =
        platform::PcmBuffer::make(buffer->format(), buffer->frameCapacity());
    if (!result) return nullptr;
    const auto found = peak(*buffer);
    if (!found) {
        Log(LogSite("normalize()"), "Failed getting peak amplitude, returning original buffer");
        return buffer;
    }
    float gain = 1.0f / found->amplitude;
    // Silence has no level to scale to: it stays as it is rather than turning into not-a-number.
    if (!(found->amplitude > 0.0f) || !std::isfinite(gain)) gain = 1.0f;
    for (std::uint32_t i = 0; i < buffer->frameLength(); ++i)
        for (std::uint32_t c = 0; c < buffer->format().channelCount(); ++c)
            *pcmsample::pointer(*result, c, i) = pcmsample::read(*buffer, c, i) * gain;
    result->setFrameLength(buffer->frameLength());
    return result;
}

std::unique_ptr<platform::PcmBuffer> reverse(const platform::PcmBuffer& buffer) {
    auto result = platform::PcmBuffer::make(buffer.format(), buffer.frameCapacity());
    if (!result) return nullptr;
    const std::uint32_t length = buffer.frameLength();
    if (buffer.floatChannelData())
        for (std::uint32_t j = 0; j < length; ++j)
            for (std::uint32_t c = 0; c < buffer.format().channelCount(); ++c)
                *pcmsample::pointer(*result, c, j) = pcmsample::read(buffer, c, length - 1 - j);
    result->setFrameLength(length);
    return result;
}

} // namespace rozezeru
