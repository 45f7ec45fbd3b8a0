#include "RozezEru/MIDI/MIDITimeout.h"

namespace rozezeru {

MIDITimeout::MIDITimeout(double interval, bool onMainThread, Action success, Action timeout,
                         platform::TimerScheduler& scheduler)
    : timeoutInterval(interval), mainThread(onMainThread), onSuccess_(std::move(success)),
      onTimeout_(std::move(timeout)), scheduler_(scheduler) {}

std::shared_ptr<MIDITimeout> MIDITimeout::make(double timeoutInterval, bool onMainThread, Action success,
                                               Action timeout, platform::TimerScheduler& scheduler) {
    return std::shared_ptr<MIDITimeout>(
        new MIDITimeout(timeoutInterval, onMainThread, std::move(success), std::move(timeout), scheduler));
}

MIDITimeout::~MIDITimeout() {
    std::lock_guard lock(pendingMutex_);
    pending_.clear(); // each handle cancels its timer
}

void MIDITimeout::perform(const Action& action) {
    std::weak_ptr<MIDITimeout> weak = weak_from_this();
    platform::mainQueue().async([weak] {
        auto timeout = weak.lock();
        if (!timeout) return;
        auto timer = timeout->scheduler_.scheduleOnce(timeout->timeoutInterval, [weak] {
            if (auto fired = weak.lock()) fired->timeOut();
        });
        std::lock_guard lock(timeout->pendingMutex_);
        timeout->pending_.push_back(std::move(timer));
    });
    if (action) action();
}

void MIDITimeout::succeed() {
    if (!mainThread) return successStep();
    std::weak_ptr<MIDITimeout> weak = weak_from_this();
    platform::mainQueue().async([weak] {
        if (auto timeout = weak.lock()) timeout->successStep();
    });
}

void MIDITimeout::timeOut() {
    if (!mainThread) return timeoutStep();
    std::weak_ptr<MIDITimeout> weak = weak_from_this();
    platform::mainQueue().async([weak] {
        if (auto timeout = weak.lock()) timeout->timeoutStep();
    });
}

void MIDITimeout::successStep() {
    {
        std::lock_guard lock(pendingMutex_);
        pending_.clear();
    }
    if (!disableSuccess && onSuccess_) onSuccess_();
}

void MIDITimeout::timeoutStep() {
    if (!disableFailure && onTimeout_) onTimeout_();
}

} // namespace rozezeru
