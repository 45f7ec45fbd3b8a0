#pragma once
// The CD+G picture at the heard time for the window's thread, which must never decode for long. A
// step of a few seconds of packets (playing on, a seek back to a snapshot) is decoded at once; a longer
// one (a seek far ahead, a position restored hours into a file) is decoded by a worker, and until its
// picture arrives the last one decoded stays. Created, called and destroyed on its home thread.

#include "Source/karaoke/CdgDecoder.h"

#include <cstddef>
#include <memory>

namespace platform {
class DispatchQueue;
}

namespace vantle {

class CdgPlayhead {
public:
    // At most this many packets are applied on the home thread for one picture: a few milliseconds
    // even for a file of nothing but scrolls, and ten seconds of a song.
    static constexpr std::size_t stepBudget = 3000;

    // `worker` decodes the long steps; `home` is the queue of the calling thread, where its answers
    // come back.
    CdgPlayhead(CdgTimeline timeline, platform::DispatchQueue& worker, platform::DispatchQueue& home);
    ~CdgPlayhead();
    CdgPlayhead(const CdgPlayhead&) = delete;
    CdgPlayhead& operator=(const CdgPlayhead&) = delete;

    // The picture at that time, or the last one decoded while the worker finds it.
    const CdgScreen& screenAt(double heardSeconds);
    // Whether the last screenAt() gave the picture of its time.
    bool exact() const { return exact_; }
    // The packets the last screenAt() applied on the home thread.
    std::size_t lastReplayedPackets() const { return lastReplayed_; }

private:
    struct Ahead;
    struct Answer;

    void ask(std::size_t packets);

    CdgTimeline timeline_;
    platform::DispatchQueue& worker_;
    platform::DispatchQueue& home_;
    std::shared_ptr<Ahead> ahead_;
    std::shared_ptr<Answer> answer_;
    bool asking_ = false;
    bool exact_ = true;
    std::size_t lastReplayed_ = 0;
};

} // namespace vantle
