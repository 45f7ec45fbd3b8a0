#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace vantle {

class PlaylistEntry;

// Where a background pass over the playlist stands (a length count, a tempo analysis): the loaded song
// first whenever it is wanted, then each listed entry once in order, until the list changes. Main thread.
class EntryWalk {
public:
    // The list changed: look through all of it again.
    void restart() {
        next_ = 0;
        lookedThrough_ = false;
    }

    // The next entry `wanted` accepts, or nullptr once the list has been looked through.
    template <typename Entries, typename Wanted>
    std::shared_ptr<PlaylistEntry> next(const std::shared_ptr<PlaylistEntry>& current, const Entries& entries,
                                        const Wanted& wanted) {
        if (current && wanted(*current)) return current;
        if (lookedThrough_) return nullptr;
        const std::vector<std::shared_ptr<PlaylistEntry>>& listed = entries();
        while (next_ < listed.size()) {
            const std::shared_ptr<PlaylistEntry>& entry = listed[next_++];
            if (entry && wanted(*entry)) return entry;
        }
        lookedThrough_ = true;
        return nullptr;
    }

private:
    std::size_t next_ = 0;
    bool lookedThrough_ = false;
};

} // namespace vantle
