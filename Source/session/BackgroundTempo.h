#pragma once
// Finds, in the background and one file at a time, the tempo and beat grid of every listed song (the
// loaded one first), so that the list shows each song's tempo before it is played. A grid found for the
// file as it is now, for the dance it has now, or corrected by hand, is kept; one found by a band the
// teacher has edited since in this run is found again. Main thread only; the analyses run on a worker
// queue and come back on the main queue.

#include "Source/session/EntryWalk.h"
#include "Source/tempo/SongTempo.h"
#include "platform/dispatch/DispatchQueue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vantle {

class PlaylistEntry;

class BackgroundTempo {
public:
    // The analysis of one file: told the dance's band as the teacher's table has it (a band of no meter
    // when no dance is known), it stops early when `cancel` is set.
    using Analyse = std::function<std::optional<SongTempo>(const std::string& path, const DanceBand& band,
                                                           const std::atomic<bool>* cancel)>;
    struct Sources {
        // The listed entries, analysed in their order.
        std::function<const std::vector<std::shared_ptr<PlaylistEntry>>&()> entries;
        // The loaded song, analysed before any other.
        std::function<std::shared_ptr<PlaylistEntry>()> current;
        // A song's dance as the window has it now (its chosen one, else its tags').
        std::function<Dance(const PlaylistEntry&)> dance;
        // A dance's band as the teacher's table has it now; empty: the default bands.
        std::function<DanceBand(Dance)> band;
    };
    // Told of each entry given a grid.
    using Found = std::function<void(const std::shared_ptr<PlaylistEntry>&)>;

    // The analyses run on `worker`, which must outlive every analysis posted to it (not this object: an
    // analysis that ends after it is dropped, unanswered).
    BackgroundTempo(Sources sources, Analyse analyse, Found found, platform::DispatchQueue& worker);
    // An analysis still running is told to stop, and dropped when it ends.
    ~BackgroundTempo();
    BackgroundTempo(const BackgroundTempo&) = delete;
    BackgroundTempo& operator=(const BackgroundTempo&) = delete;

    // The list, a song's dance or a dance's band changed: it is looked through again, from its start, at
    // the next update().
    void listChanged();
    // The entry's file is looked at again at the next update() (a song loaded: its file may have been
    // written since), and analysed again when it changed.
    void recheck(const PlaylistEntry& entry);
    // Starts the next analysis when none is running. Cheap once the list has been looked through, so that
    // it may be called at every display tick.
    void update();
    // The entry whose file is being analysed; null when none is.
    std::shared_ptr<PlaylistEntry> analysing() const { return running_.lock(); }

    // What a worker found of a file.
    struct Outcome {
        bool opened = false;
        // The file's size and modification time when it was looked at.
        std::uint64_t size = 0;
        std::int64_t modified = 0;
        // Nothing when the entry's grid is of this file already, or the analysis found none.
        std::optional<SongTempo> tempo;
        bool analysed = false;
    };

private:
    bool wanted(const PlaylistEntry& entry) const;
    DanceBand bandOf(Dance dance) const;
    void start(const std::shared_ptr<PlaylistEntry>& entry);
    void landed(const std::weak_ptr<PlaylistEntry>& analysed, const std::string& path, Dance dance,
                const DanceBand& band, const Outcome& outcome);

    Sources sources_;
    Analyse analyse_;
    Found found_;
    platform::DispatchQueue& worker_;
    // Lives as long as this object: an analysis that ends after it is dropped.
    std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<PlaylistEntry> running_;
    bool busy_ = false;
    EntryWalk walk_;
    // What each entry was looked at with (by entry id): not tried again until one of them changes.
    struct Tried {
        std::string path;
        Dance dance = Dance::none;
        DanceBand band;
        bool operator==(const Tried&) const = default;
    };
    std::unordered_map<std::int64_t, Tried> tried_;
};

} // namespace vantle
