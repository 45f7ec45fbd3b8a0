#include "Source/karaoke/CdgPlayhead.h"

#include "platform/dispatch/DispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <optional>

namespace vantle {

namespace {
// Between two looks at whether the answer is still wanted: a song left stops the worker soon.
constexpr std::size_t workerChunk = 20000;
} // namespace

// The worker's own timeline over the same packets, with its own snapshots: used by one job at a time.
struct CdgPlayhead::Ahead {
    explicit Ahead(CdgTimeline copy) : timeline(std::move(copy)) {}
    CdgTimeline timeline;
    std::atomic<bool> abandoned{false};
};

// Where the worker's picture lands on the home thread; gone with the playhead.
struct CdgPlayhead::Answer {
    std::optional<std::size_t> packets;
    CdgScreen screen;
};

CdgPlayhead::CdgPlayhead(CdgTimeline timeline, platform::DispatchQueue& worker, platform::DispatchQueue& home)
    : timeline_(std::move(timeline)), worker_(worker), home_(home),
      ahead_(std::make_shared<Ahead>(timeline_)), answer_(std::make_shared<Answer>()) {}

CdgPlayhead::~CdgPlayhead() {
    ahead_->abandoned = true;
}

const CdgScreen& CdgPlayhead::screenAt(double heardSeconds) {
    const std::size_t target = timeline_.packetsAt(heardSeconds);
    // A picture from the worker is taken when it brings the time nearer than the timeline is.
    if (answer_->packets) {
        if (*answer_->packets <= target && target - *answer_->packets < timeline_.costOf(target))
            timeline_.adopt(*answer_->packets, answer_->screen);
        answer_->packets.reset();
    }
    const std::size_t cost = timeline_.costOf(target);
    if (cost <= stepBudget) {
        exact_ = true;
        lastReplayed_ = cost;
        return timeline_.screenAfter(target);
    }
    exact_ = false;
    lastReplayed_ = 0;
    // One question at a time; the time heard when it comes back is asked next if still far.
    if (!asking_) ask(target);
    return timeline_.screen();
}

void CdgPlayhead::ask(std::size_t packets) {
    asking_ = true;
    std::weak_ptr<Answer> answer = answer_;
    // The playhead is destroyed on the home thread, so a live answer means a live playhead there.
    CdgPlayhead* self = this;
    worker_.async([ahead = ahead_, answer, self, packets, &home = home_] {
        for (std::size_t left = ahead->timeline.costOf(packets); left > 0;
             left = ahead->timeline.costOf(packets)) {
            if (ahead->abandoned) return;
            (void)ahead->timeline.screenAfter(packets - left + std::min(left, workerChunk));
        }
        auto screen = std::make_shared<CdgScreen>(ahead->timeline.screen());
        home.async([answer, self, packets, screen] {
            const std::shared_ptr<Answer> landed = answer.lock();
            if (!landed) return;
            landed->packets = packets;
            landed->screen = *screen;
            self->asking_ = false;
        });
    });
}

} // namespace vantle
