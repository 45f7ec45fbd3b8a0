#pragma once
// A queue that holds what is posted to it until the test runs it, on the test's own thread: the order and
// the number of jobs a piece of code hands to a worker can then be checked one step at a time. Test thread.

#include "platform/dispatch/DispatchQueue.h"

#include <cstddef>
#include <deque>
#include <string>
#include <utility>

namespace testsupport {

class HeldQueue final : public platform::DispatchQueue {
public:
    void async(Work work) override { held_.push_back(std::move(work)); }
    const std::string& label() const override { return label_; }
    bool isCurrent() const override { return running_; }

    std::size_t held() const { return held_.size(); }
    // Runs the job posted first; false when none is held.
    bool runNext() {
        if (held_.empty()) return false;
        Work work = std::move(held_.front());
        held_.pop_front();
        running_ = true;
        work();
        running_ = false;
        return true;
    }

private:
    std::string label_ = "held";
    std::deque<Work> held_;
    bool running_ = false;
};

} // namespace testsupport
