#pragma once
// The descriptive tags of an audio file (title, album, genre …) read through FFmpeg's demuxers, for every
// format they know: ID3 in MP3, RIFF INFO in WAV, iTunes atoms in M4A, Vorbis comments in FLAC and Ogg.
// Any thread; no shared state.

#include "platform/foundation/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct AudioFileMetadataItem {
    // Lower-case, as FFmpeg names the common tags: "title", "album", "genre", "artist" …
    std::string key;
    std::string value;
};

struct AudioFileMetadata {
    // The container's tags in file order, then those of the first audio stream (Ogg keeps its comments
    // there) whose key the container does not have.
    std::vector<AudioFileMetadataItem> items;

    // The first value under `key` (compared without regard to case).
    std::optional<std::string> value(std::string_view key) const;
};

// Fails only when the file cannot be opened, is not a regular file or no demuxer recognises it; a file
// without tags gives none. Reads a bounded part of the file (tens of megabytes), so that a file whose
// headers lie keeps no caller for long: tags found before the bound are given.
Result<AudioFileMetadata> readMetadata(const std::string& path);
// The same from a file's bytes in memory (its head is enough for tags at the start, such as ID3v2);
// `name` gives the probe its extension and names it in a failure.
Result<AudioFileMetadata> readMetadata(const std::vector<std::uint8_t>& bytes, const std::string& name);

} // namespace platform
