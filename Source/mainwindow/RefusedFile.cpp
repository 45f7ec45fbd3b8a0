#include "Source/mainwindow/RefusedFile.h"

#include "platform/files/SongArchive.h"

namespace vantle {

std::optional<std::string> songArchiveRefusal(const std::string& path) {
    if (!platform::isSongArchivePath(path)) return std::nullopt;
    platform::Result<platform::SongArchiveContents> song =
        platform::inspectSongArchive(path, platform::songArchiveLimits());
    if (song) return std::nullopt;
    return song.error().message;
}

} // namespace vantle
