#pragma once
// An ordered list that one thread may walk while others change it: a reader takes an immutable snapshot
// (a brief lock to copy one pointer, never held while the entries are called), a writer copies the list,
// changes the copy and publishes it. Any thread but the audio render thread.

#include <memory>
#include <mutex>
#include <vector>

namespace rozezeru {

template <typename T> class SnapshotList {
public:
    using Snapshot = std::shared_ptr<const std::vector<T>>;

    SnapshotList() : list_(std::make_shared<const std::vector<T>>()) {}

    // The list as it is now; later changes do not touch it.
    Snapshot snapshot() const {
        std::lock_guard lock(listMutex_);
        return list_;
    }

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
        std::lock_guard writing(writeMutex_);
        auto copy = std::make_shared<std::vector<T>>(*snapshot());
        apply(*copy);
        Snapshot published = std::move(copy);
        std::lock_guard lock(listMutex_);
        list_.swap(published);
        // The old list is released here or by its last reader, never inside a listener's call.
    }

    std::mutex writeMutex_;
    mutable std::mutex listMutex_;
    Snapshot list_;
};

} // namespace rozezeru
