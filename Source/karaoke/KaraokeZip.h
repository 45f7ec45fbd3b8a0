#pragma once
// The graphics of a song packed with its audio in a zip archive (see platform/files/SongArchive.h).
// Any thread: it reads the archive, bounded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

// The CD+G bytes of the song at `path` when it is a song archive that holds them (at most 64 MiB);
// nothing for any other path, or an archive that is not one song. Graphics beside an audio file are
// found by their own path (cdgBesidePath).
std::optional<std::vector<std::uint8_t>> readCdgForSong(const std::string& path);

} // namespace vantle
