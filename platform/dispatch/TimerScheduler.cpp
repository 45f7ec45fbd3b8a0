#include "platform/dispatch/TimerScheduler.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace platform {

namespace detail {

struct DispatchTimerState {
    DispatchQueue::Work handler;
    DispatchQueue* queue = nullptr;
    double interval = 0; // 0: fires once
    double deadline = 0; // guarded by the core's mutex
    std::uint64_t sequence = 0;
    std::atomic<bool> cancelled{false};
    std::atomic<bool> pending{false}; // posted and not yet finished
    std::weak_ptr<TimerSchedulerCore> core;
};

struct TimerSchedulerCore {
    explicit TimerSchedulerCore(std::shared_ptr<const TimerClock> source) : clock(std::move(source)) {}

    const std::shared_ptr<const TimerClock> clock;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::shared_ptr<DispatchTimerState>> timers;
    std::uint64_t nextSequence = 0;
    bool stopping = false;
};

} // namespace detail

namespace {

using TimerStatePtr = std::shared_ptr<detail::DispatchTimerState>;

constexpr double kMinimumTimerInterval = 0.001;
constexpr double kTimerForeverSeconds = 1e8;

// Takes the timers due at now out of their slots (one-shots leave, repeating ones move on along their grid)
// and returns those whose handler is to be posted, in order of deadline. Caller holds core.mutex.
std::vector<TimerStatePtr> collectDueTimers(detail::TimerSchedulerCore& core, double now) {
    std::vector<TimerStatePtr> due;
    for (auto& timer : core.timers)
        if (timer->deadline <= now) due.push_back(timer);
    std::sort(due.begin(), due.end(), [](const TimerStatePtr& a, const TimerStatePtr& b) {
        return a->deadline != b->deadline ? a->deadline < b->deadline : a->sequence < b->sequence;
    });
    std::vector<TimerStatePtr> fire;
    for (auto& timer : due) {
        if (timer->interval > 0) {
            timer->deadline += (std::floor((now - timer->deadline) / timer->interval) + 1) * timer->interval;
            while (timer->deadline <= now)
                timer->deadline += timer->interval; // rounding
        } else {
            std::erase(core.timers, timer);
        }
        // A handler still waiting on its queue absorbs this tick.
        if (!timer->pending.exchange(true)) fire.push_back(timer);
    }
    return fire;
}

void postTimerHandlers(const std::vector<TimerStatePtr>& timers) {
    for (const auto& timer : timers) {
        timer->queue->async([timer] {
            struct PendingReset {
                detail::DispatchTimerState& state;
                ~PendingReset() { state.pending.store(false); }
            } reset{*timer};
            if (!timer->cancelled.load()) timer->handler();
        });
    }
}

void runTimerThread(detail::TimerSchedulerCore& core) {
    std::unique_lock lock(core.mutex);
    while (!core.stopping) {
        double now = core.clock->now();
        auto fire = collectDueTimers(core, now);
        if (!fire.empty()) {
            lock.unlock();
            postTimerHandlers(fire);
            lock.lock();
            continue;
        }
        std::optional<double> next;
        for (auto& timer : core.timers)
            if (!next || timer->deadline < *next) next = timer->deadline;
        if (!next || *next - now > kTimerForeverSeconds) {
            core.changed.wait(lock);
        } else {
            core.changed.wait_for(lock, std::chrono::ceil<std::chrono::nanoseconds>(
                                            std::chrono::duration<double>(*next - now)));
        }
    }
}

} // namespace

DispatchTimer& DispatchTimer::operator=(DispatchTimer&& other) noexcept {
    if (this != &other) {
        cancel();
        state_ = std::move(other.state_);
    }
    return *this;
}

DispatchTimer::~DispatchTimer() {
    cancel();
}

void DispatchTimer::cancel() {
    if (!state_) return;
    state_->cancelled.store(true);
    if (auto core = state_->core.lock()) {
        std::lock_guard lock(core->mutex);
        std::erase(core->timers, state_);
    }
    state_.reset();
}

TimerScheduler::TimerScheduler()
    : core_(std::make_shared<detail::TimerSchedulerCore>(std::make_shared<MonotonicTimerClock>())),
      thread_([core = core_.get()] { runTimerThread(*core); }) {}

TimerScheduler::TimerScheduler(std::shared_ptr<const TimerClock> clock)
    : core_(std::make_shared<detail::TimerSchedulerCore>(std::move(clock))) {}

TimerScheduler::~TimerScheduler() {
    {
        std::lock_guard lock(core_->mutex);
        core_->stopping = true;
        core_->timers.clear();
    }
    core_->changed.notify_all();
    if (thread_.joinable()) thread_.join();
}

DispatchTimer TimerScheduler::scheduleOnce(double delaySeconds, DispatchQueue::Work handler,
                                           DispatchQueue& queue) {
    return schedule(delaySeconds, 0, std::move(handler), queue);
}

DispatchTimer TimerScheduler::scheduleRepeating(double intervalSeconds, DispatchQueue::Work handler,
                                                DispatchQueue& queue) {
    double interval =
        intervalSeconds > kMinimumTimerInterval ? intervalSeconds : kMinimumTimerInterval; // and NaN
    return schedule(interval, interval, std::move(handler), queue);
}

DispatchTimer TimerScheduler::schedule(double delaySeconds, double intervalSeconds,
                                       DispatchQueue::Work handler, DispatchQueue& queue) {
    auto state = std::make_shared<detail::DispatchTimerState>();
    state->handler = std::move(handler);
    state->queue = &queue;
    state->interval = intervalSeconds;
    state->core = core_;
    {
        std::lock_guard lock(core_->mutex);
        state->deadline = core_->clock->now() + (delaySeconds > 0 ? delaySeconds : 0.0); // and NaN
        state->sequence = core_->nextSequence++;
        if (!core_->stopping) core_->timers.push_back(state);
    }
    core_->changed.notify_all();
    return DispatchTimer(std::move(state));
}

void TimerScheduler::fireDueTimers() {
    std::vector<TimerStatePtr> fire;
    {
        std::lock_guard lock(core_->mutex);
        fire = collectDueTimers(*core_, core_->clock->now());
    }
    postTimerHandlers(fire);
}

double TimerScheduler::now() const {
    return core_->clock->now();
}

TimerScheduler& sharedTimerScheduler() {
    static TimerScheduler scheduler;
    return scheduler;
}

} // namespace platform
