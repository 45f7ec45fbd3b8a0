#pragma once
// One entry of a player node's schedule (a PCM buffer or a file segment), with the links and event
// bits that carry it between the node's threads, and the lock-free stack those links form. Internal
// to the player node. The control thread fills an item before it publishes it; afterwards the render
// thread owns the render fields while the item is on its schedule, and the completion thread owns
// the item itself (it frees it once the render and streaming threads have released it).

#include "platform/audio/AudioTime.h"
#include "platform/player/PlayerFileStream.h"
#include "platform/player/PlayerNodeTypes.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class PcmBuffer;

// What happened to an item; posted to the completion thread as bits.
namespace playerevent {
inline constexpr std::uint32_t consumed = 1;
inline constexpr std::uint32_t rendered = 2;
inline constexpr std::uint32_t playedBack = 4;
// Dropped by an interrupting buffer before it finished.
inline constexpr std::uint32_t dropped = 8;
// The render thread (or stop()) no longer refers to the item.
inline constexpr std::uint32_t renderReleased = 16;
// The streaming thread no longer refers to the item.
inline constexpr std::uint32_t streamReleased = 32;

constexpr std::uint32_t forCallbackType(PlayerCompletionCallbackType type) {
    switch (type) {
    case PlayerCompletionCallbackType::dataConsumed:
        return consumed;
    case PlayerCompletionCallbackType::dataRendered:
        return rendered;
    case PlayerCompletionCallbackType::dataPlayedBack:
        return playedBack;
    }
    return playedBack;
}
} // namespace playerevent

struct PlayerItem;

// One post to the completion thread. Each item carries its own few, so posting never allocates.
struct PlayerEvent {
    PlayerItem* item = nullptr;
    std::uint32_t bits = 0;
    PlayerEvent* next = nullptr;
};

struct PlayerItem {
    // At most four posts reach an item (consumed; rendered or dropped; played back; the two releases
    // ride on the last ones): room to spare.
    static constexpr std::uint32_t eventSlots = 6;

    // Set before publication, read-only afterwards. Exactly one of buffer and stream is set.
    std::shared_ptr<const PcmBuffer> buffer;
    std::unique_ptr<PlayerFileStream> stream;
    std::int64_t frames = 0; // of one pass
    std::optional<AudioTime> when;
    PlayerBufferOptions options = PlayerBufferOptions::none;
    PlayerCompletionCallbackType callbackType = PlayerCompletionCallbackType::dataPlayedBack;
    PlayerCompletionHandler completion;

    // Whoever sets it first calls the completion: each item's completion runs once.
    std::atomic<bool> delivered{false};
    // Tells the streaming thread to stop reading the item.
    std::atomic<bool> dropped{false};

    // Render thread (or stop() while it holds the render side).
    PlayerItem* renderNext = nullptr; // the schedule, or the list waiting for played-back times
    std::int64_t position = 0;        // frames of the current pass rendered
    bool started = false;
    bool endAtLoop = false;
    std::int64_t playedBackAt = 0; // engine sample time

    // The link of the control thread's stack of new items, and the item's posts.
    PlayerItem* incomingNext = nullptr;
    PlayerEvent events[eventSlots];
    std::atomic<std::uint32_t> eventsUsed{0};

    // Completion thread.
    bool renderReleased = false;
    bool streamReleased = false;
};

// A lock-free stack of nodes linked through `Link`: any number of threads push, one takes all.
template <typename Node, Node* Node::*Link> class PlayerLockFreeStack {
public:
    void push(Node* node) {
        Node* head = head_.load(std::memory_order_relaxed);
        do {
            node->*Link = head;
        } while (
            !head_.compare_exchange_weak(head, node, std::memory_order_release, std::memory_order_relaxed));
    }

    // Empties the stack; returns its nodes in the order they were pushed, linked through `Link`.
    Node* takeAll() {
        Node* node = head_.exchange(nullptr, std::memory_order_acquire);
        Node* ordered = nullptr;
        while (node) {
            Node* next = node->*Link;
            node->*Link = ordered;
            ordered = node;
            node = next;
        }
        return ordered;
    }

private:
    std::atomic<Node*> head_{nullptr};
};

} // namespace platform
