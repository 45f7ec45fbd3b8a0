#pragma once
// An ordered list that one thread may read while others change it: readers take an immutable snapshot
// without waiting for writers, writers copy the list, change the copy and publish it. Any thread but the
// audio render thread.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace rozezeru {

template <typename T> class SnapshotList {
public:
    using Snapshot = std::shared_ptr<const std::vector<T>>;

    SnapshotList() : list_(std::make_shared<const std::vector<T>>()) {}

    // The list as it is now; later changes do not touch it.
    Snapshot snapshot() const { return list_.load(std::memory_order_acquire); }

    void append(T item) {
        change([&](std::vector<T>& items) { items.push_back(std::move(item)); });
    }
    // Removes the entries `matches` accepts; the others keep their order.
    template <typename Predicate> void removeIf(Predicate matches) {
        change([&](std::vector<T>& items) { std::erase_if(items, matches); });
    }
    void clear() {
        change([](std::vector<T>& items) { items.clear(); });
    }

private:
    template <typename Change> void change(Change&& apply) {
        std::lock_guard lock(writeMutex_);
        auto copy = std::make_shared<std::vector<T>>(*list_.load(std::memory_order_acquire));
        apply(*copy);
        list_.store(std::move(copy), std::memory_order_release);
    }

    std::mutex writeMutex_;
    std::atomic<std::shared_ptr<const std::vector<T>>> list_;
};

} // namespace rozezeru
