#pragma once
// What follows the end of a song: the one place that decides which row comes next and whether it
// starts by itself. Qt-free; any thread.

#include "Source/session/PlayerServices.h"

#include <cstddef>
#include <optional>

namespace vantle {

struct SongEndStep {
    // The row loaded next; nullopt: none.
    std::optional<std::size_t> row;
    // Whether it starts at once. In karaoke it never does: another singer's song starts only when
    // the host starts it, after the singers have read "Next:".
    bool start = false;
};

// `finishedRow`: the row of the song that ended, if it is still listed; `markedRow`: the first row
// the user selected while it played, if any.
SongEndStep stepAfterSongEnd(PlayerMode mode, std::optional<std::size_t> finishedRow,
                             std::optional<std::size_t> markedRow);

} // namespace vantle
