#include "Wavesketch/TaskPool.h"

#include <algorithm>
#include <utility>

namespace wavesketch {

TaskPriority taskPriority(QualityOfService qos) {
    switch (qos) {
    case QualityOfService::background:
        return TaskPriority::background();
    case QualityOfService::utility:
        return TaskPriority::utility();
    case QualityOfService::userInitiated:
        return TaskPriority::userInitiated();
    case QualityOfService::userInteractive:
        return TaskPriority::high();
    case QualityOfService::default_:
    case QualityOfService::unspecified:
        break;
    }
    return TaskPriority::medium();
}

TaskPool::TaskPool(unsigned threads) {
    for (unsigned i = 0; i < std::max(1u, threads); ++i)
        threads_.emplace_back([this] { work(); });
}

TaskPool::~TaskPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void TaskPool::run(TaskPriority priority, std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        waiting_.push(Waiting{priority, submitted_++, std::move(task)});
    }
    wake_.notify_one();
}

void TaskPool::work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        // top() is const, but the element is popped at once: moving its task out is safe.
        auto task = std::move(const_cast<Waiting&>(waiting_.top()).task);
        waiting_.pop();
        lock.unlock();
        task();
        task = nullptr;
        lock.lock();
    }
}

TaskPool& TaskPool::shared() {
    // Decoding is the work, so as many threads as cores, but never fewer than two.
    static TaskPool pool(std::max(2u, std::thread::hardware_concurrency()));
    return pool;
}

} // namespace wavesketch
