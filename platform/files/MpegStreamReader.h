#pragma once
// The back end of AudioFile for an MP3 whose info (Xing/LAME) header states less than the file holds:
// files joined end to end, or one whose header was written before its stream ended. libsndfile plays
// only what such a header says; this reads the whole stream through mpg123, takes at another sample rate
// converted to the first take's (internal to platform_files).
// Same threading as AudioFile.

#include "platform/files/AudioFileBackend.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// What the info header (Xing, Info or VBRI) of an MP3 states, and what the file holds past its start.
struct MpegInfoHeader {
    std::uint64_t statedBytes = 0;     // the stream, the header's own frame included
    std::uint32_t statedFrames = 0;    // MPEG frames of audio
    std::uint64_t heldBytes = 0;       // from the header's frame to the tags at the end
    std::uint64_t estimatedFrames = 0; // MPEG frames the held bytes are thought to hold
};

// The info header of the MP3 open at `descriptor` (read with pread, so its offset stays), `fileSize`
// bytes long, when it states less of the stream than the file holds and the stream goes on where the
// stated one ends; nothing for any other file.
std::optional<MpegInfoHeader> mpegUnderstatedStream(int descriptor, std::uint64_t fileSize);

// Reads the file open at `descriptor`, known as `path` in errors, whose header is `header`, to the end
// of its stream; the caller keeps the descriptor open for as long as the reader lives, and no other
// reader uses its offset. Its length is an estimate from the file's size and the header's bit rate
// (Info::lengthIsEstimate), until the frames of the unchanged file were counted once (measureLength()
// of any of its readers).
Result<std::unique_ptr<AudioFileBackend>> openMpegStreamReader(int descriptor, const std::string& path,
                                                               const MpegInfoHeader& header,
                                                               AudioFileBackend::Info& info);

// Stops every count running now or started later (at quit): each ends at its next frame with an error.
void stopMpegStreamCounts();

} // namespace platform
