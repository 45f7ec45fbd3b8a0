#pragma once
// Audible scrubbing: while the time slider is dragged, plays one-second snippets of the entry's
// file, a little fast, from wherever the player's position is, one after another. Main thread.

#include "platform/dispatch/TimerScheduler.h"

#include <functional>
#include <memory>

namespace vantle {

class TimeSliderPlayer;

// A player of its own on the entry's file, so that the main node chain is not disturbed.
// Implemented over the audio toolkit by the playback code; tests use a fake. Main thread.
class ScrubSnippetPlayer {
public:
    virtual ~ScrubSnippetPlayer() = default;

    virtual void setCurrentTime(double seconds) = 0;
    // 0 … 1.
    virtual void setVolume(float volume) = 0;
    // Lets the rate differ from 1 (off, rate changes are ignored).
    virtual void setEnableRate(bool enabled) = 0;
    virtual void setRate(float rate) = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
};

// The main view makes a new one for each entry it loads; the time slider switches `scrubbing`
// on at every drag movement and off when the mouse button is released. A snippet in progress
// keeps its scrubber alive until it ends, even when the main view has dropped it.
class Scrubber final : public std::enable_shared_from_this<Scrubber> {
public:
    // Length of one snippet, seconds.
    static constexpr double snipTime = 1.0;
    static constexpr float snipRate = 1.5f;

    // `manager` gives the snippet's start; `avPlayer` is null when the entry's file could not be
    // opened (scrubbing is then silent); `mainVolume` reads the main view's playback volume at
    // each snippet (null reads as 1). The scheduler times the snippets and must outlive the scrubber.
    static std::shared_ptr<Scrubber>
    make(std::shared_ptr<TimeSliderPlayer> manager, std::unique_ptr<ScrubSnippetPlayer> avPlayer,
         std::function<float()> mainVolume,
         platform::TimerScheduler& scheduler = platform::sharedTimerScheduler());

    ~Scrubber();
    Scrubber(const Scrubber&) = delete;
    Scrubber& operator=(const Scrubber&) = delete;

    bool scrubbing() const { return scrubbing_; }
    // Every assignment, also of the same value, runs scrub().
    void setScrubbing(bool scrubbing);
    // A snippet is sounding.
    bool scrubPlaying() const { return scrubPlaying_; }

    // Starts a snippet at the player's position when scrubbing and none is sounding; when it
    // ends (snipTime later, on the main queue) it pauses and tries again. Otherwise nothing.
    void scrub();

private:
    struct MakeKey {};

public:
    // For make() only.
    Scrubber(MakeKey, std::shared_ptr<TimeSliderPlayer> manager, std::unique_ptr<ScrubSnippetPlayer> avPlayer,
             std::function<float()> mainVolume, platform::TimerScheduler& scheduler);

private:
    void snippetEnded();

    std::shared_ptr<TimeSliderPlayer> manager_;
    bool scrubbing_ = false;
    bool scrubPlaying_ = false;
    std::unique_ptr<ScrubSnippetPlayer> avPlayer_;
    std::function<float()> mainVolume_;
    platform::TimerScheduler& scheduler_;
    platform::DispatchTimer snipTimer_;
};

// The snippet volume for a main volume: half of it, within 0 … 1 (not finite gives 0).
float scrubSnippetVolume(float mainVolume);

} // namespace vantle
