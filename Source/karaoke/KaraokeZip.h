#pragma once
// The graphics of a song packed with its audio in a zip archive (see platform/files/SongArchive.h).
// Any thread: it reads the archive, bounded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

// The CD+G bytes of the song at `path`: inside it when it is a song archive (at most 64 MiB), else the
// `.cdg` beside it (cdgBesidePath, within its own bound). Nothing when there are none, or they do not
// read, or the archive is not one song.
std::optional<std::vector<std::uint8_t>> readCdgForSong(const std::string& path);

} // namespace vantle
