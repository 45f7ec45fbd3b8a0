#pragma once
// Finding and reading the `.cdg` file of a song. Qt-free; any thread (they touch the disk).

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

// Far over any disc (an 80-minute disc is under 35 MB); a larger `.cdg` is refused.
inline constexpr std::size_t cdgMaximumBytes = 128u * 1024 * 1024;

// The `.cdg` beside an audio file with the same base name, its extension in any case
// (SONG.MP3 -> SONG.CDG or SONG.cdg); failing that, a base name differing only in ASCII case
// (SONG.MP3 -> Song.cdg). Nullopt when there is none.
std::optional<std::string> cdgBesidePath(const std::string& audioPath);

// The same choice made from the names of the regular files in the audio file's folder, for callers
// that list a folder once for many songs. Gives the chosen name.
std::optional<std::string> cdgNameInListing(const std::string& audioFileName,
                                            const std::vector<std::string>& fileNames);

// The base name of a `.cdg` file name in ASCII lower case, empty for any other name; equal to
// songKeyOf() of the songs it may serve, so that a folder's names are matched without asking each.
std::string cdgKeyOf(std::string_view fileName);
std::string songKeyOf(std::string_view fileName);

// The names of the regular files (links followed) in a folder, at most `limit` of them, so that a
// huge folder costs a bounded time; empty when the folder cannot be read. Once `stopped` holds, the
// listing ends at the next name with what it has.
constexpr std::size_t listedNamesLimit = 20000;
std::vector<std::string> listFileNames(const std::string& folder, std::size_t limit = listedNamesLimit,
                                       const std::function<bool()>& stopped = {});

// A `.cdg` file's bytes, refused with its reason when unreadable or over cdgMaximumBytes.
platform::Result<std::vector<std::uint8_t>> readCdgFile(const std::string& path);

} // namespace vantle
