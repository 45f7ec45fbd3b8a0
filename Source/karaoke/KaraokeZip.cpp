#include "Source/karaoke/KaraokeZip.h"

#include "platform/files/SongArchive.h"

namespace vantle {

std::optional<std::vector<std::uint8_t>> readCdgForSong(const std::string& path) {
    if (!platform::isSongArchivePath(path)) return std::nullopt;
    platform::Result<std::vector<std::uint8_t>> graphics = platform::readSongArchiveGraphics(path);
    if (!graphics) return std::nullopt;
    return std::move(graphics.value());
}

} // namespace vantle
