#include "platform/dispatch/ConcurrentQueue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace platform {

namespace {

// Fixed set of threads that run submitted tasks in order of submission.
class DispatchWorkerPool {
public:
    explicit DispatchWorkerPool(unsigned count) {
        for (unsigned i = 0; i < count; ++i)
            threads_.emplace_back([this] { run(); });
    }

    // Runs what is still submitted, then joins.
    ~DispatchWorkerPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (auto& thread : threads_)
            thread.join();
    }

    void submit(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        wake_.notify_one();
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

DispatchWorkerPool& dispatchWorkerPool() {
    static DispatchWorkerPool pool(std::max(2u, std::thread::hardware_concurrency()));
    return pool;
}

} // namespace

struct ConcurrentQueue::State {
    explicit State(std::string name) : label(std::move(name)) {}

    struct Item {
        Work work;
        bool barrier = false;
    };

    const std::string label;
    std::mutex mutex;
    std::condition_variable idle;
    std::deque<Item> items;
    int running = 0;
    bool barrierRunning = false;
};

namespace {

void startReadyConcurrentWork(const std::shared_ptr<ConcurrentQueue::State>& state);

void runConcurrentItem(const std::shared_ptr<ConcurrentQueue::State>& state, DispatchQueue::Work& work,
                       bool barrier) {
    {
        detail::CurrentQueueScope current(state.get());
        work();
    }
    work = nullptr;
    std::lock_guard lock(state->mutex);
    --state->running;
    if (barrier) state->barrierRunning = false;
    startReadyConcurrentWork(state);
    if (state->running == 0 && state->items.empty()) state->idle.notify_all();
}

// Hands the pool every item that may start now; caller holds state->mutex.
void startReadyConcurrentWork(const std::shared_ptr<ConcurrentQueue::State>& state) {
    auto& items = state->items;
    while (!items.empty() && !state->barrierRunning) {
        bool barrier = items.front().barrier;
        if (barrier) {
            if (state->running > 0) return;
            state->barrierRunning = true;
        }
        auto work = std::move(items.front().work);
        items.pop_front();
        ++state->running;
        dispatchWorkerPool().submit(
            [state, work = std::move(work), barrier]() mutable { runConcurrentItem(state, work, barrier); });
    }
}

void postConcurrentItem(const std::shared_ptr<ConcurrentQueue::State>& state,
                        ConcurrentQueue::State::Item item) {
    std::lock_guard lock(state->mutex);
    state->items.push_back(std::move(item));
    startReadyConcurrentWork(state);
}

} // namespace

ConcurrentQueue::ConcurrentQueue(std::string label) : state_(std::make_shared<State>(std::move(label))) {
    // The pool must outlive every queue, static ones included.
    (void)dispatchWorkerPool();
}

ConcurrentQueue::~ConcurrentQueue() {
    if (isCurrent()) return;
    std::unique_lock lock(state_->mutex);
    state_->idle.wait(lock, [this] { return state_->running == 0 && state_->items.empty(); });
}

void ConcurrentQueue::async(Work work) {
    postConcurrentItem(state_, {std::move(work), false});
}

void ConcurrentQueue::asyncBarrier(Work work) {
    postConcurrentItem(state_, {std::move(work), true});
}

const std::string& ConcurrentQueue::label() const {
    return state_->label;
}

bool ConcurrentQueue::isCurrent() const {
    return detail::currentQueueMarker() == state_.get();
}

ConcurrentQueue& globalQueue() {
    static ConcurrentQueue queue("global");
    return queue;
}

} // namespace platform
