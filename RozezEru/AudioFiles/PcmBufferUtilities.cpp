#include "RozezEru/AudioFiles/PcmBufferUtilities.h"

#include "RozezEru/AudioFiles/PcmSampleAccess.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"

#include <openssl/evp.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace rozezeru {

namespace {

// Seconds times rate as a frame position, truncated toward zero; none outside [0, 2^32).
std::optional<std::uint32_t> utilitiesSamplePosition(double seconds, double rate) {
    const double product = seconds * rate;
    if (!(product >= 0.0 && product < 4294967296.0)) return std::nullopt;
    return std::uint32_t(product);
}

} // namespace

std::unique_ptr<platform::PcmBuffer> extract(const platform::PcmBuffer& buffer, double startTime,
                                             double endTime) {
    const double rate = buffer.format().sampleRate();
    const auto startSample = utilitiesSamplePosition(startTime, rate);
    auto endSample = utilitiesSamplePosition(endTime, rate);
    if (!startSample || !endSample) {
        Log(LogSite("extract(from:to:)", LogType::error),
            "Times must be finite, not negative and inside the buffer's frame range:", startTime, endTime);
        return nullptr;
    }
    if (*endSample == 0) endSample = buffer.frameLength();
    if (*endSample <= *startSample) {
        Log(LogSite("extract(from:to:)", LogType::error), "startSample must be before endSample");
        return nullptr;
    }
    auto edited = platform::PcmBuffer::make(buffer.format(), *endSample - *startSample);
    if (!edited) {
        Log(LogSite("extract(from:to:)", LogType::error), "Failed to create edited buffer");
        return nullptr;
    }
    if (copy(*edited, buffer, *startSample, edited->frameCapacity()) == 0) {
        Log(LogSite("extract(from:to:)", LogType::error), "Failed to write to edited buffer");
        return nullptr;
    }
    return edited;
}

std::uint32_t copy(platform::PcmBuffer& receiver, const platform::PcmBuffer& source, std::uint32_t readOffset,
                   std::uint32_t frames) {
    const std::uint32_t room = receiver.frameCapacity() - receiver.frameLength();
    if (room == 0) {
        Log(LogSite("copy(from:readOffset:frames:)"), "AVAudioBuffer copy(from) - no capacity!");
        return 0;
    }
    if (receiver.format() != source.format()) {
        Log(LogSite("copy(from:readOffset:frames:)"), "AVAudioBuffer copy(from) - formats must match!");
        return 0;
    }
    const std::uint32_t available = source.frameLength() > readOffset ? source.frameLength() - readOffset : 0;
    const std::uint32_t count = std::min({frames == 0 ? source.frameLength() : frames, room, available});
    if (count == 0) {
        Log(LogSite("copy(from:readOffset:frames:)"), "AVAudioBuffer copy(from) - No frames to copy!");
        return 0;
    }
    switch (receiver.format().commonFormat()) {
    case platform::CommonFormat::pcmFloat32:
    case platform::CommonFormat::pcmInt16:
    case platform::CommonFormat::pcmInt32:
        break;
    default:
        return 0;
    }
    // Whole blocks per buffer: one per channel, or one holding every channel when interleaved.
    const std::size_t bytesPerFrame = receiver.format().bytesPerFrame();
    const platform::AudioBufferList from = source.bufferList();
    for (std::uint32_t index = 0; index < receiver.format().bufferCount(); ++index)
        std::memcpy(static_cast<std::uint8_t*>(receiver.bufferData(index)) +
                        receiver.frameLength() * bytesPerFrame,
                    static_cast<const std::uint8_t*>(from.buffers[index].data) + readOffset * bytesPerFrame,
                    count * bytesPerFrame);
    receiver.setFrameLength(receiver.frameLength() + count);
    return count;
}

std::unique_ptr<platform::PcmBuffer> copyFrom(const platform::PcmBuffer& buffer, std::uint32_t startSample) {
    if (startSample >= buffer.frameLength()) return nullptr;
    auto result = platform::PcmBuffer::make(buffer.format(), buffer.frameLength() - startSample);
    if (!result || copy(*result, buffer, startSample, 0) == 0) return nullptr;
    return result;
}

std::unique_ptr<platform::PcmBuffer> copyPrefix(const platform::PcmBuffer& buffer, std::uint32_t frameCount) {
    auto result = platform::PcmBuffer::make(buffer.format(), frameCount);
    if (!result || copy(*result, buffer, 0, std::min(frameCount, buffer.frameLength())) == 0) return nullptr;
    return result;
}

std::optional<std::vector<std::vector<float>>> toFloatChannelData(const platform::PcmBuffer& buffer) {
    if (!buffer.floatChannelData()) return std::nullopt;
    std::vector<std::vector<float>> channels(buffer.format().channelCount());
    for (std::uint32_t c = 0; c < channels.size(); ++c) {
        channels[c].resize(buffer.frameLength());
        for (std::uint32_t i = 0; i < buffer.frameLength(); ++i)
            channels[c][i] = pcmsample::read(buffer, c, i);
    }
    return channels;
}

platform::Result<std::unique_ptr<platform::PcmBuffer>> bufferFromFile(platform::AudioFile& file) {
    if (std::uint64_t(file.length()) > maximumBufferFrames)
        return platform::Error::make("rozezeru.PcmBuffer", "The file \"" + file.path() + "\" holds " +
                                                               std::to_string(file.length()) +
                                                               " frames; a buffer holds at most 4294967295");
    file.setFramePosition(0);
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), std::uint32_t(file.length()));
    if (!buffer) return std::unique_ptr<platform::PcmBuffer>();
    if (auto read = file.read(*buffer); !read) return read.error();
    return buffer;
}

platform::Result<std::unique_ptr<platform::PcmBuffer>> bufferFromFile(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    if (!file) return std::unique_ptr<platform::PcmBuffer>();
    return bufferFromFile(*file.value());
}

std::optional<float> averageRms(const platform::PcmBuffer& buffer, std::uint32_t channels) {
    const float* const* data = buffer.floatChannelData();
    const std::uint32_t frames = buffer.frameLength();
    if (!data || channels == 0 || frames == 0) return std::nullopt;
    const std::uint32_t stride = buffer.stride();
    double sum = 0.0;
    for (std::uint32_t c = 0; c < channels; ++c) {
        const float* samples = stride == 1 ? data[c] : data[0] + c;
        double squares = 0.0;
        for (std::uint32_t i = 0; i < frames; ++i) {
            const double sample = samples[std::size_t(i) * stride];
            squares += sample * sample;
        }
        sum += std::sqrt(squares / frames);
    }
    return float(sum / channels);
}

bool isAllZeros(const platform::PcmBuffer& buffer) {
    if (!buffer.floatChannelData()) return true;
    for (std::uint32_t c = 0; c < buffer.format().channelCount(); ++c)
        for (std::uint32_t i = 0; i < buffer.frameLength(); ++i)
            if (pcmsample::read(buffer, c, i) != 0.0f) return false;
    return true;
}

std::string md5(const platform::PcmBuffer& buffer) {
    std::vector<unsigned char> bytes;
    if (buffer.floatChannelData()) {
        const std::uint32_t channels = buffer.format().channelCount();
        bytes.reserve(std::size_t(buffer.frameCapacity()) * channels * 4);
        for (std::uint32_t i = 0; i < buffer.frameCapacity(); ++i)
            for (std::uint32_t c = 0; c < channels; ++c) {
                const auto bits = std::bit_cast<std::uint32_t>(pcmsample::read(buffer, c, i));
                for (int shift = 0; shift < 32; shift += 8)
                    bytes.push_back(static_cast<unsigned char>(bits >> shift));
            }
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) length = 0;
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        text += hexDigits[digest[i] >> 4];
        text += hexDigits[digest[i] & 15];
    }
    return text;
}

} // namespace rozezeru
