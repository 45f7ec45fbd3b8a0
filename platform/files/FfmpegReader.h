#pragma once
// FFmpeg back end of AudioFile (internal to platform_files): reads the audio track of MPEG-4
// (M4A, MP4, MOV, M4V), ADTS and MPEG transport stream files.

#include "platform/files/AudioFileBackend.h"

#include <memory>

namespace platform {

// Reads the file open at `descriptor`, known as `path` (for its extension and in errors); the caller
// keeps the descriptor open for as long as the reader lives.
Result<std::unique_ptr<AudioFileBackend>> openFfmpegReader(int descriptor, const std::string& path,
                                                           AudioFileBackend::Info& info);

} // namespace platform
