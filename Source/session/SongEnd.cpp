#include "Source/session/SongEnd.h"

namespace vantle {

SongEndStep stepAfterSongEnd(PlayerMode mode, std::optional<std::size_t> finishedRow,
                             std::optional<std::size_t> markedRow) {
    const bool karaoke = mode == PlayerMode::karaoke || mode == PlayerMode::karaokePrepare;
    // A row marked while the song played is what the user chose to follow it.
    if (markedRow) return {markedRow, !karaoke};
    if (finishedRow) return {*finishedRow + 1, false};
    return {};
}

} // namespace vantle
