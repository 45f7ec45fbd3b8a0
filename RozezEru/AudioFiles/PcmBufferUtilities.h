#pragma once
// Moving frames between PCM buffers and files: cutting a time range, copying behind a buffer's
// frames, copies from a frame on or up to a count, reading a whole file, per-channel float arrays,
// the silence test and the MD5 digest of the samples. Appending is rozezeru::append
// (RozezEru/Internals/PcmBufferAppend.h). Stateless; any thread that owns the buffers, not the
// render thread (they allocate and may log).

#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class AudioFile;
class PcmBuffer;
} // namespace platform

namespace rozezeru {

// The largest frame count a PCM buffer holds.
inline constexpr std::uint64_t maximumBufferFrames = 4294967295u;

// A new buffer holding the frames from `startTime` to `endTime` (seconds; an end of 0 means the end
// of the buffer), cut at the buffer's end. None, with an error record, for an empty or inverted range
// ("startSample must be before endSample"), for times that are negative, not finite or beyond the
// 32-bit frame range, or when nothing could be copied.
std::unique_ptr<platform::PcmBuffer> extract(const platform::PcmBuffer& buffer, double startTime,
                                             double endTime);

// Copies up to `frames` frames (0: all) of `source`, from its frame `readOffset` on, behind the valid
// frames of `receiver`, as far as the receiver has room and the source has frames. Returns the frames
// copied; 0, with an info record, when the receiver is full, the formats differ or there is nothing
// to copy (a read offset at or past the source's end), and 0 silently for a sample type other than
// 32-bit float, 16-bit or 32-bit integer.
std::uint32_t copy(platform::PcmBuffer& receiver, const platform::PcmBuffer& source,
                   std::uint32_t readOffset = 0, std::uint32_t frames = 0);

// The frames from `startSample` to the end in a new buffer; none when the start is not inside.
std::unique_ptr<platform::PcmBuffer> copyFrom(const platform::PcmBuffer& buffer, std::uint32_t startSample);
// The first `frameCount` frames (at most the buffer's) in a new buffer of capacity `frameCount`.
std::unique_ptr<platform::PcmBuffer> copyPrefix(const platform::PcmBuffer& buffer, std::uint32_t frameCount);

// One array per channel of the valid frames; none for a buffer without 32-bit float samples.
std::optional<std::vector<std::vector<float>>> toFloatChannelData(const platform::PcmBuffer& buffer);

// The whole file, from its start, in its processing format. A read error is passed on, and so is a
// file longer than maximumBufferFrames; nullptr when no buffer of that size can be made.
platform::Result<std::unique_ptr<platform::PcmBuffer>> bufferFromFile(platform::AudioFile& file);
// The same for the file at `path`; nullptr (without an error) when it cannot be opened.
platform::Result<std::unique_ptr<platform::PcmBuffer>> bufferFromFile(const std::string& path);

// The RMS level of each of the first `channels` channels over the valid frames, averaged; none
// without float samples, channels or frames.
std::optional<float> averageRms(const platform::PcmBuffer& buffer, std::uint32_t channels);

// Whether every valid sample is 0.0 (or -0.0); true without 32-bit float samples.
bool isAllZeros(const platform::PcmBuffer& buffer);

// The MD5 digest, as 32 lower-case hexadecimal digits, of the 32-bit float samples of every frame up
// to the capacity (not only the valid ones), frame by frame and channel by channel, each as its four
// little-endian bytes. A buffer without float samples gives the digest of no bytes.
std::string md5(const platform::PcmBuffer& buffer);

} // namespace rozezeru
