#pragma once
// libsndfile back ends of AudioFile (internal to platform_files): reading WAV, AIFF, CAF, FLAC,
// Ogg, MP3, AU and the other containers libsndfile knows, and writing linear PCM.

#include "platform/files/AudioFileBackend.h"

#include <memory>

namespace platform {

// Reads the file open at `descriptor`, known as `path` in errors; the caller keeps the descriptor open
// for as long as the reader lives. Its offset is neither used nor moved.
Result<std::unique_ptr<AudioFileBackend>> openSndfileReader(int descriptor, const std::string& path,
                                                            AudioFileBackend::Info& info);
Result<std::unique_ptr<AudioFileBackend>> openSndfileWriter(const std::string& path,
                                                            const AudioFileSettings& settings,
                                                            const AudioFileWriteOptions& options,
                                                            AudioFileBackend::Info& info);

} // namespace platform
