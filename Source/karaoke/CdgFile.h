#pragma once
// Finding and reading the `.cdg` file of a song. Qt-free; any thread (they touch the disk).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

// The `.cdg` beside an audio file with the same base name, its extension in any case
// (SONG.MP3 -> SONG.CDG or SONG.cdg); failing that, a base name differing only in ASCII case.
// Nullopt when there is none.
std::optional<std::string> cdgBesidePath(const std::string& audioPath);

// The same choice made from a listing of the audio file's folder (names only), for callers that
// list a folder once for many songs.
std::optional<std::string> cdgNameInListing(const std::string& audioFileName,
                                            const std::vector<std::string>& folderNames);

// The names of the entries of a folder, at most `limit` of them; empty when it cannot be read.
std::vector<std::string> listFolderNames(const std::string& folder, std::size_t limit = 20000);

} // namespace vantle
