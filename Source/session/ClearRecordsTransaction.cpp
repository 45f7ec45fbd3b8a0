#include "Source/session/ClearRecordsTransaction.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"

#include <algorithm>
#include <utility>

namespace vantle {

ClearRecordsTransaction::Records ClearRecordsTransaction::recordsOf(const PlaylistEntry& entry, Kinds kinds) {
    Records records;
    if (kinds.ranges)
        records.ranges =
            entry.currentTimeRangeSet ? entry.currentTimeRangeSet->ranges : std::vector<TimeRange>();
    if (kinds.zeros) records.zeros = entry.zeros;
    if (kinds.playedDates) records.playedDates = entry.playedDates;
    return records;
}

ClearRecordsTransaction::ClearRecordsTransaction(std::string name, std::vector<Change> changes)
    : name(std::move(name)), changes(std::move(changes)) {
    std::erase_if(this->changes,
                  [](const Change& change) { return !change.entry || change.before == change.after; });
}

platform::Result<void> ClearRecordsTransaction::redo() {
    apply(true);
    return {};
}

platform::Result<void> ClearRecordsTransaction::undo() {
    apply(false);
    return {};
}

void ClearRecordsTransaction::apply(bool after) const {
    for (const Change& change : changes) {
        PlaylistEntry& entry = *change.entry;
        const Records& records = after ? change.after : change.before;
        if (records.ranges) {
            if (!entry.currentTimeRangeSet) entry.currentTimeRangeSet = std::make_shared<TimeRangeSet>();
            entry.currentTimeRangeSet->ranges = *records.ranges;
            // Playback opens its span anew: the one it was extending may be gone.
            entry.cachedTimeRangeIndex.reset();
        }
        if (records.zeros) entry.zeros = *records.zeros;
        if (records.playedDates) entry.playedDates = *records.playedDates;
    }
    MainWindowServices* window = AppServices::mainWindow();
    if (!window) return;
    if (std::shared_ptr<Playlist> playlist = window->playlist()) playlist->dirty = true;
    window->entryRecordsChanged();
}

} // namespace vantle
