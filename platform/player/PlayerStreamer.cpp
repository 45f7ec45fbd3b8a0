#include "platform/player/PlayerStreamer.h"

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

// Frames read per turn of the claim, so that the render thread of an offline engine (which reads
// synchronously) and prepare() wait no longer than one such read.
constexpr std::uint32_t streamerChunkFrames = 8192;
// How often the thread tops up the rings; far shorter than the time a ring holds.
constexpr auto streamerInterval = std::chrono::milliseconds(10);

} // namespace

PlayerStreamer::PlayerStreamer(PlayerCompletionQueue& completions) : completions_(completions) {}

PlayerStreamer::~PlayerStreamer() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    quitting_.store(true);
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void PlayerStreamer::add(PlayerItem* item) {
    {
        std::lock_guard lock(mutex_);
        items_.push_back(item);
        woken_ = true;
        if (!thread_.joinable()) thread_ = std::thread(&PlayerStreamer::run, this);
    }
    changed_.notify_all();
}

void PlayerStreamer::wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    changed_.notify_all();
}

bool PlayerStreamer::fillItem(PlayerItem& item, bool& ringFull) {
    PlayerFileStream& stream = *item.stream;
    while (!quitting_.load(std::memory_order_relaxed)) {
        stream.claim();
        if (item.dropped.load() || stream.isFullyRead()) {
            stream.release();
            return true;
        }
        const PlayerFileStream::Fill fill = stream.fill(streamerChunkFrames);
        // Posted under the claim, so it comes before the streamReleased event of the item.
        if (fill.completed) completions_.post(&item, playerevent::consumed);
        stream.release();
        if (fill.completed) return true;
        if (fill.frames == 0) {
            ringFull = true;
            return false;
        }
    }
    return false;
}

void PlayerStreamer::run() {
    std::vector<PlayerItem*> snapshot, finished;
    std::unique_lock lock(mutex_);
    while (!quit_) {
        snapshot = items_;
        woken_ = false;
        lock.unlock();

        finished.clear();
        for (PlayerItem* item : snapshot) {
            bool ringFull = false;
            if (fillItem(*item, ringFull)) finished.push_back(item);
            // A later segment waits until the one before it is read: that one plays first.
            if (ringFull || quitting_.load(std::memory_order_relaxed)) break;
        }

        lock.lock();
        if (!finished.empty()) {
            std::erase_if(items_, [&](PlayerItem* item) {
                return std::find(finished.begin(), finished.end(), item) != finished.end();
            });
            lock.unlock();
            for (PlayerItem* item : finished)
                completions_.post(item, playerevent::streamReleased);
            lock.lock();
        }
        if (quit_) break;
        if (items_.empty())
            changed_.wait(lock, [&] { return quit_ || !items_.empty(); });
        else
            changed_.wait_for(lock, streamerInterval, [&] { return quit_ || woken_; });
    }
}

void PlayerStreamer::prepare(std::int64_t frames) {
    // Holding the list keeps the streaming thread from releasing (and so freeing) its items.
    std::lock_guard lock(mutex_);
    for (PlayerItem* item : items_) {
        if (frames <= 0) break;
        PlayerFileStream& stream = *item->stream;
        const std::int64_t left = stream.frames() - stream.readPosition();
        const std::int64_t wanted = std::min<std::int64_t>({frames, left, stream.ringFrames()});
        frames -= std::max<std::int64_t>(left, 0);
        stream.claim();
        // The window's thread does not walk a file: the streaming thread reads this one and those after.
        if (stream.fillWalks()) {
            stream.release();
            break;
        }
        while (!item->dropped.load() && !stream.isFullyRead() && stream.bufferedFrames() < wanted) {
            const PlayerFileStream::Fill fill = stream.fill(
                std::uint32_t(std::min<std::int64_t>(wanted - stream.bufferedFrames(), streamerChunkFrames)));
            if (fill.completed) completions_.post(item, playerevent::consumed);
            if (fill.completed || fill.frames == 0) break;
        }
        stream.release();
    }
}

} // namespace platform
