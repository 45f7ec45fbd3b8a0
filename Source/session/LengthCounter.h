#pragma once
// Counts, in the background and one file at a time, the frames of the listed files whose length is only an
// estimate (an MP3 of takes joined end to end), and measures those with no length yet that the window
// does not measure itself (a song archive, whose audio is read whole), so that the list tells what a set
// lasts without each song being played first. Main thread only; the counts run on a worker queue and
// come back on the main queue.

#include "Source/session/EntryWalk.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Files.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace vantle {

class PlaylistEntry;

class LengthCounter {
public:
    struct Sources {
        // The listed entries, counted in their order.
        std::function<const std::vector<std::shared_ptr<PlaylistEntry>>&()> entries;
        // The current song, counted before any other.
        std::function<std::shared_ptr<PlaylistEntry>()> current;
        // True while the player counts the current song itself: nothing else is counted meanwhile.
        std::function<bool()> currentBeingCounted;
    };
    // Told of each entry given its counted length.
    using Counted = std::function<void(const std::shared_ptr<PlaylistEntry>&)>;

    // The counts run on `worker`, which must outlive every count posted to it.
    LengthCounter(Sources sources, Counted counted, platform::DispatchQueue& worker);
    // A count still running is dropped when it ends.
    ~LengthCounter();
    LengthCounter(const LengthCounter&) = delete;
    LengthCounter& operator=(const LengthCounter&) = delete;

    // The list changed: it is looked through again, from its start, at the next update().
    void listChanged();
    // Starts the next count when none is running and the player is not counting the current song. Cheap
    // once the list has been looked through, so that it may be called at every display tick.
    void update();
    // The entry whose file is being counted; null when none is.
    std::shared_ptr<PlaylistEntry> counting() const { return running_.lock(); }

    // What a count found of a file.
    struct Outcome {
        bool opened = false;
        // The file's length was an estimate when opened (otherwise a count had already made it exact).
        bool wasEstimate = false;
        // Its whole length in seconds, and whether it holds all that its header states.
        double seconds = 0;
        bool complete = true;
        // The audio's name inside a song archive; empty for other files.
        std::string archiveMember;
        // Why the count failed; empty when it did not.
        std::string error;
    };

private:
    bool wanted(const PlaylistEntry& entry) const;
    void start(const std::shared_ptr<PlaylistEntry>& entry);
    void landed(const std::weak_ptr<PlaylistEntry>& counted, const std::string& path, const Outcome& outcome);

    Sources sources_;
    Counted counted_;
    platform::DispatchQueue& worker_;
    // Lives as long as the counter: a count that ends after it is dropped.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    std::weak_ptr<PlaylistEntry> running_;
    bool busy_ = false;
    // Past the list's end, nothing is left to count until it changes.
    EntryWalk walk_;
    // Where each entry was counted (by entry id): counted once, or failed once, it is not tried again until
    // it names another file, or a song archive changed on disk.
    struct Tried {
        std::string path;
        std::optional<platform::FileStamp> archive;
    };
    std::unordered_map<std::int64_t, Tried> tried_;
};

} // namespace vantle
