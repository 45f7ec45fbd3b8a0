#pragma once
// The toolkit's helpers over platform audio files: duration, the whole file as one buffer, its
// per-channel samples and peak, a buffer written as a new file, a time range cut out into a new
// file (with fades), a range cut and converted through the format converter, and the audio format
// of any readable media file. Stateless; for the thread that uses the file, not the render thread.

#include "RozezEru/AudioFiles/FormatConverter/FormatConverter.h"
#include "RozezEru/AudioFiles/PcmBufferProcessing.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class AudioFile;
class PcmBuffer;
} // namespace platform

namespace rozezeru {

// The domain of the errors made here.
inline constexpr std::string_view audioFileUtilitiesErrorDomain = "da.ruruvavi.FormatConverter.error";

// Seconds: the file's length over the sample rate of its own format (not of the processing format);
// 0 for a file without a rate.
double duration(const platform::AudioFile& file);

// The whole file in its processing format, read from its start; none (the reason logged) when it
// cannot be read or holds more frames than a buffer can (4294967295).
std::unique_ptr<platform::PcmBuffer> toAVAudioPCMBuffer(platform::AudioFile& file);
// The whole file as one float array per channel; none when it cannot be read.
std::optional<std::vector<std::vector<float>>> toFloatChannelData(platform::AudioFile& file);
// The loudest block of the whole file; none when it cannot be read or is empty.
std::optional<Peak> peak(platform::AudioFile& file);

// A new file at `path` holding the buffer in the buffer's own sample format, rate and channels (the
// container from the extension). Written beside the path and renamed into place when complete, so
// an existing file there survives a failure; returns the finished file, open for reading.
platform::Result<std::unique_ptr<platform::AudioFile>> writeAudioFile(const std::string& path,
                                                                      const platform::PcmBuffer& buffer);

// Cuts `from` ... `to` seconds out of the file into a new CAF file (the destination's extension
// becomes "caf" unless it is that already), faded in and out over the given lengths when either is
// not 0. None, with an error record, when the file cannot be read, the range cut or the file written.
std::unique_ptr<platform::AudioFile> extract(platform::AudioFile& file, const platform::Url& destination,
                                             double from, double to, double fadeInTime, double fadeOutTime);
// The same range converted into the target format: the options' format, else the destination's
// extension in lower case; the result is named after the destination with the target's extension.
// Without options the source file's rate, depth and channels are kept. The cut range goes through
// a temporary CAF file in a folder of its own beside the destination, removed after the handler has
// been called. Returns once the converter has started; an unsupported target is refused at once.
void extract(platform::AudioFile& file, const platform::Url& destination, double from, double to,
             double fadeInTime, double fadeOutTime, std::optional<FormatConverter::Options> options,
             FormatConverter::CompletionHandler completionHandler);

// An error in audioFileUtilitiesErrorDomain with the message as its text.
platform::Error converterError(std::string message, int code);

// The format of a media file's audio (its own format, as it is stored); none when it has no
// readable audio.
std::optional<platform::AudioStreamDescription> assetAudioFormat(const platform::Url& url);

} // namespace rozezeru
