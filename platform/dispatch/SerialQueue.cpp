#include "platform/dispatch/SerialQueue.h"

#include "platform/dispatch/Semaphore.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <utility>

namespace platform {

struct SerialQueue::State {
    explicit State(std::string name) : label(std::move(name)) {}

    const std::string label;
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Work> items;
    bool closing = false;
};

namespace {

void runSerialQueue(const std::shared_ptr<SerialQueue::State>& state) {
    detail::CurrentQueueScope current(state.get());
    std::unique_lock lock(state->mutex);
    for (;;) {
        state->wake.wait(lock, [&] { return state->closing || !state->items.empty(); });
        if (state->items.empty()) return;
        DispatchQueue::Work work = std::move(state->items.front());
        state->items.pop_front();
        lock.unlock();
        work();
        work = nullptr; // what it captured may post to this queue
        lock.lock();
    }
}

} // namespace

SerialQueue::SerialQueue(std::string label)
    : state_(std::make_shared<State>(std::move(label))),
      thread_([state = state_] { runSerialQueue(state); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(state_->mutex);
        state_->closing = true;
    }
    state_->wake.notify_all();
    if (isCurrent())
        thread_.detach(); // the thread holds the state and ends after the last item
    else
        thread_.join();
}

void SerialQueue::async(Work work) {
    {
        std::lock_guard lock(state_->mutex);
        state_->items.push_back(std::move(work));
    }
    state_->wake.notify_one();
}

void SerialQueue::sync(const Work& work) {
    if (isCurrent()) {
        work();
        return;
    }
    Semaphore done;
    std::exception_ptr error;
    async([&] {
        try {
            work();
        } catch (...) {
            error = std::current_exception();
        }
        done.signal();
    });
    done.wait();
    if (error) std::rethrow_exception(error);
}

const std::string& SerialQueue::label() const {
    return state_->label;
}

bool SerialQueue::isCurrent() const {
    return detail::currentQueueMarker() == state_.get();
}

} // namespace platform
