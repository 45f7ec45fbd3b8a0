#pragma once
// One value guarded by a reader/writer lock, so that a value written on one thread is read whole
// on another.

#include <mutex>
#include <shared_mutex>
#include <type_traits>
#include <utility>

namespace rozezeru {

// Any number of concurrent readers or one writer. Any thread but the render thread (the lock
// blocks). The lock is not recursive: inside modify() the same accessor must not be used again.
// A std::shared_mutex cannot fail to be made, so there is no broken-lock state to handle.
template <typename Value> class ThreadLockedAccessor {
public:
    explicit ThreadLockedAccessor(Value wrappedValue = Value()) : value_(std::move(wrappedValue)) {}
    ThreadLockedAccessor(const ThreadLockedAccessor&) = delete;
    ThreadLockedAccessor& operator=(const ThreadLockedAccessor&) = delete;

    // A copy taken under the read lock.
    Value wrappedValue() const {
        std::shared_lock lock(mutex_);
        return value_;
    }

    // The old value is released inside the write lock.
    void setWrappedValue(Value newValue) {
        std::unique_lock lock(mutex_);
        value_ = std::move(newValue);
    }

    // Calls `change` with the value in place, holding the write lock for the whole call; returns
    // what `change` returns.
    template <typename Change> decltype(auto) modify(Change&& change) {
        std::unique_lock lock(mutex_);
        return std::forward<Change>(change)(value_);
    }

private:
    mutable std::shared_mutex mutex_;
    Value value_;
};

} // namespace rozezeru
