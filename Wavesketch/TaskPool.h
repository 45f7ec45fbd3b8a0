#pragma once
// Background tasks of the waveform package: a quality-of-service class chosen by the caller becomes a task
// priority, and a small pool of threads runs waiting tasks highest priority first. No Qt.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <queue>
#include <thread>
#include <vector>

namespace wavesketch {

// The caller's quality-of-service class (stands in for the platform's dispatch classes).
enum class QualityOfService { background, utility, default_, userInitiated, userInteractive, unspecified };

// A task's priority; greater raw values run first.
struct TaskPriority {
    std::uint8_t rawValue = 21;

    static constexpr TaskPriority background() { return {9}; }
    static constexpr TaskPriority utility() { return {17}; }
    static constexpr TaskPriority medium() { return {21}; }
    static constexpr TaskPriority userInitiated() { return {25}; }
    static constexpr TaskPriority high() { return {25}; }

    friend bool operator==(TaskPriority, TaskPriority) = default;
};

TaskPriority taskPriority(QualityOfService qos);

// Runs tasks on a fixed set of threads. run() may be called from any thread; a task must not throw.
// Destruction runs what is still waiting, then joins the threads.
class TaskPool {
public:
    explicit TaskPool(unsigned threads);
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    void run(TaskPriority priority, std::function<void()> task);

    // The pool the package's analyses run on.
    static TaskPool& shared();

private:
    struct Waiting {
        TaskPriority priority;
        std::uint64_t order; // earlier first among equal priorities
        std::function<void()> task;
    };
    struct Later {
        bool operator()(const Waiting& a, const Waiting& b) const {
            return a.priority.rawValue != b.priority.rawValue ? a.priority.rawValue < b.priority.rawValue
                                                              : a.order > b.order;
        }
    };

    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::priority_queue<Waiting, std::vector<Waiting>, Later> waiting_;
    std::uint64_t submitted_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

} // namespace wavesketch
