#pragma once
// FFmpeg back end of AudioFile for writing (internal to platform_files): AAC in an MPEG-4 (M4A)
// file, through FFmpeg's own AAC encoder.

#include "platform/files/AudioFileBackend.h"

#include <memory>

namespace platform {

Result<std::unique_ptr<AudioFileBackend>>
openFfmpegWriter(const std::string& path, const AudioFileSettings& settings, AudioFileBackend::Info& info);

} // namespace platform
