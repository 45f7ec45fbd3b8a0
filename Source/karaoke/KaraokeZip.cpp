#include "Source/karaoke/KaraokeZip.h"

#include "Source/karaoke/CdgFile.h"
#include "platform/files/SongArchive.h"

namespace vantle {

std::optional<std::vector<std::uint8_t>> readCdgForSong(const std::string& path) {
    if (!platform::isSongArchivePath(path)) {
        const std::optional<std::string> beside = cdgBesidePath(path);
        if (!beside) return std::nullopt;
        platform::Result<std::vector<std::uint8_t>> graphics = readCdgFile(*beside);
        if (!graphics) return std::nullopt;
        return std::move(graphics.value());
    }
    platform::Result<std::vector<std::uint8_t>> graphics = platform::readSongArchiveGraphics(path);
    if (!graphics) return std::nullopt;
    return std::move(graphics.value());
}

} // namespace vantle
