#pragma once
// The player node's streaming thread: it reads the scheduled file segments, in order, into their
// rings ahead of the render thread, so that real-time rendering never waits for the disk. It posts
// each segment's consumed event when the segment has been read completely, and its streamReleased
// event when it lets go of it. add() and prepare() belong to the node's control thread.

#include "platform/player/PlayerCompletionQueue.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class PlayerStreamer {
public:
    explicit PlayerStreamer(PlayerCompletionQueue& completions);
    // Stops and joins the thread; it does not post for the items it still holds.
    ~PlayerStreamer();
    PlayerStreamer(const PlayerStreamer&) = delete;
    PlayerStreamer& operator=(const PlayerStreamer&) = delete;

    // A file item, after the items added before it. Starts the thread on first use.
    void add(PlayerItem* item);
    // Reads, on the calling thread, until the first `frames` frames of the waiting file segments are
    // in their rings (at most a ring's worth of each); not from a segment whose read would first walk
    // a long way through its file, nor from those after it: the streaming thread reads them.
    void prepare(std::int64_t frames);
    // Makes the thread look at its items now (after a drop, say).
    void wake();

private:
    void run();
    // Fills one item's ring; true when the item is finished (read completely or dropped).
    bool fillItem(PlayerItem& item, bool& ringFull);

    PlayerCompletionQueue& completions_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PlayerItem*> items_; // under mutex_, in schedule order
    bool woken_ = false;             // under mutex_
    bool quit_ = false;              // under mutex_
    std::atomic<bool> quitting_{false};
    std::thread thread_;
};

} // namespace platform
