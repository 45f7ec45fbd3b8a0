#pragma once
// The file tests' fixtures: the shared tone and file writers, and buffers moved in and out of an AudioFile.
// Other test programs and the benchmarks include this for the tone and the writers.

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"
#include "tests/support/AudioFiles.h"
#include "tests/support/TemporaryFolder.h"

#include <memory>
#include <string>

namespace fixtures {

using TempFolder = testsupport::TemporaryFolder;
using testsupport::Channels;
using testsupport::tone;
using testsupport::writeAac;
using testsupport::writeWithSndfile;

// Frames [from, from + count) of `data` (to the end by default) in a float32 buffer of either layout.
inline std::unique_ptr<platform::PcmBuffer> bufferOf(const Channels& data, double rate, std::int64_t from = 0,
                                                     std::int64_t count = -1, bool interleaved = false) {
    const auto channels = std::uint32_t(data.size());
    if (count < 0) count = std::int64_t(data[0].size()) - from;
    auto format =
        platform::AudioFormat::make(platform::CommonFormat::pcmFloat32, rate, channels, interleaved);
    auto buffer = platform::PcmBuffer::make(*format, std::uint32_t(count));
    float* const* out = buffer->floatChannelData();
    for (std::int64_t i = 0; i < count; ++i)
        for (std::uint32_t c = 0; c < channels; ++c) {
            const float v = data[c][std::size_t(from + i)];
            if (interleaved)
                out[0][std::size_t(i) * channels + c] = v;
            else
                out[c][std::size_t(i)] = v;
        }
    buffer->setFrameLength(std::uint32_t(count));
    return buffer;
}

// Reads from the file's position to its end through AudioFile, `block` frames at a time.
inline Channels readToEnd(platform::AudioFile& file, std::uint32_t block = 4096) {
    const std::uint32_t channels = file.processingFormat().channelCount();
    Channels out(channels);
    auto buffer = platform::PcmBuffer::make(file.processingFormat(), block);
    for (;;) {
        if (!file.read(*buffer).ok() || buffer->frameLength() == 0) break;
        for (std::uint32_t c = 0; c < channels; ++c)
            out[c].insert(out[c].end(), buffer->channel(c), buffer->channel(c) + buffer->frameLength());
    }
    return out;
}

} // namespace fixtures
