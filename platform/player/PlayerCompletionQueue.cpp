#include "platform/player/PlayerCompletionQueue.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <vector>

namespace platform {

namespace {

// How often the thread looks for events while items exist: the render thread cannot wake it.
constexpr auto completionPollInterval = std::chrono::milliseconds(4);

} // namespace

struct PlayerCompletionQueue::State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<PlayerItem>> items; // under mutex
    std::uint64_t drainRequested = 0;               // under mutex
    std::uint64_t drainServed = 0;                  // under mutex
    bool quit = false;                              // under mutex
    std::atomic<std::thread::id> threadID{};
    PlayerLockFreeStack<PlayerEvent, &PlayerEvent::next> events;

    void post(PlayerItem* item, std::uint32_t bits) {
        const std::uint32_t slot = item->eventsUsed.fetch_add(1, std::memory_order_relaxed);
        assert(slot < PlayerItem::eventSlots);
        if (slot >= PlayerItem::eventSlots) return;
        PlayerEvent& event = item->events[slot];
        event.item = item;
        event.bits = bits;
        events.push(&event);
    }

    // In the order posted: an item's event may free it, so the next one is read first.
    void handleEvents() {
        PlayerEvent* event = events.takeAll();
        while (event) {
            PlayerEvent* next = event->next;
            handle(*event->item, event->bits);
            event = next;
        }
    }

    void handle(PlayerItem& item, std::uint32_t bits) {
        const std::uint32_t due = playerevent::forCallbackType(item.callbackType) | playerevent::dropped;
        if ((bits & due) && !item.delivered.exchange(true) && item.completion)
            item.completion(item.callbackType);
        if (bits & playerevent::renderReleased) item.renderReleased = true;
        if (bits & playerevent::streamReleased) item.streamReleased = true;
        if (!item.renderReleased || !item.streamReleased) return;
        std::unique_ptr<PlayerItem> owned;
        {
            std::lock_guard lock(mutex);
            auto found =
                std::find_if(items.begin(), items.end(), [&](const auto& p) { return p.get() == &item; });
            if (found == items.end()) return;
            owned = std::move(*found);
            items.erase(found);
        }
        // Outside the lock: the completion may hold the last reference to whoever owns the node.
        owned.reset();
    }

    static void run(std::shared_ptr<State> state) {
        state->threadID.store(std::this_thread::get_id());
        std::unique_lock lock(state->mutex);
        while (!state->quit) {
            const std::uint64_t target = state->drainRequested;
            lock.unlock();
            state->handleEvents();
            lock.lock();
            state->drainServed = std::max(state->drainServed, target);
            state->changed.notify_all();
            auto woken = [&] { return state->quit || state->drainRequested > state->drainServed; };
            if (state->items.empty())
                state->changed.wait(lock, [&] { return woken() || !state->items.empty(); });
            else
                state->changed.wait_for(lock, completionPollInterval, woken);
        }
    }
};

PlayerCompletionQueue::PlayerCompletionQueue() : state_(std::make_shared<State>()) {}

PlayerCompletionQueue::~PlayerCompletionQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->quit = true;
    }
    state_->changed.notify_all();
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id())
        thread_.detach(); // the thread keeps the state alive until it returns
    else
        thread_.join();
}

void PlayerCompletionQueue::startThread() {
    std::call_once(started_, [this] { thread_ = std::thread(&State::run, state_); });
}

PlayerItem* PlayerCompletionQueue::adopt(std::unique_ptr<PlayerItem> item) {
    startThread();
    PlayerItem* raw = item.get();
    {
        std::lock_guard lock(state_->mutex);
        state_->items.push_back(std::move(item));
    }
    state_->changed.notify_all();
    return raw;
}

void PlayerCompletionQueue::post(PlayerItem* item, std::uint32_t events) {
    state_->post(item, events);
}

void PlayerCompletionQueue::drain() {
    if (isCurrent() || !thread_.joinable()) {
        state_->handleEvents();
        return;
    }
    std::unique_lock lock(state_->mutex);
    const std::uint64_t target = ++state_->drainRequested;
    state_->changed.notify_all();
    state_->changed.wait(lock, [&] { return state_->drainServed >= target || state_->quit; });
}

bool PlayerCompletionQueue::isCurrent() const {
    return state_->threadID.load() == std::this_thread::get_id();
}

std::size_t PlayerCompletionQueue::itemCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->items.size();
}

} // namespace platform
