#include "Source/session/PlayerServices.h"

#include "Source/session/PlaylistEntry.h"

namespace vantle {

void recordPlayedRange(const PlayerServices& player) {
    if (player.mode() != PlayerMode::dance) return;
    std::shared_ptr<PlaylistEntry> entry = player.entry();
    if (!entry) return;
    double time = player.currentTime();
    if (entry->cachedTimeRangeIndex && entry->currentTimeRangeSet &&
        entry->currentTimeRangeSet->extendRange(*entry->cachedTimeRangeIndex, time)) {
        entry->listeningLogged = false;
        return;
    }
    entry->beginTimeRange(time);
}

} // namespace vantle
