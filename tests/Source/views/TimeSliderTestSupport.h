#pragma once
// Fakes of the player, the main view and the snippet player for the time slider's and the
// scrubber's tests; all of them write to one shared log, so tests can check the order of calls.

#include "Source/views/Scrubber.h"
#include "Source/views/TimeSlider.h"
#include "Source/views/TimeSliderPlayer.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace vantle::testing {

using CallLog = std::vector<std::string>;

inline std::string timeSliderLogNumber(double value) {
    return QString::number(value, 'g', 6).toStdString();
}

// Seeks are stored as they come, unclamped, so the tests see what the slider asked for.
class FakeTimeSliderPlayer final : public TimeSliderPlayer {
public:
    explicit FakeTimeSliderPlayer(CallLog& log) : log_(log) {}
    double currentTime() const override { return time; }
    void setCurrentTime(double seconds) override {
        time = seconds;
        log_.push_back("seek " + timeSliderLogNumber(seconds));
    }

    double time = 0;

private:
    CallLog& log_;
};

class FakeTimeSliderHost final : public TimeSliderHost {
public:
    explicit FakeTimeSliderHost(CallLog& log) : log_(log) {}
    void refreshDisplay() override { log_.push_back("refresh"); }
    void setShowingRemaining(bool value) override {
        log_.push_back(value ? "showingRemaining on" : "showingRemaining off");
    }
    std::shared_ptr<Scrubber> scrubber() const override { return currentScrubber; }

    std::shared_ptr<Scrubber> currentScrubber;

private:
    CallLog& log_;
};

// Logs each call; a pause also records the scheduler's time at which it came.
class FakeScrubSnippetPlayer final : public ScrubSnippetPlayer {
public:
    FakeScrubSnippetPlayer(CallLog& log, const platform::TimerScheduler& scheduler)
        : log_(log), scheduler_(scheduler) {}
    void setCurrentTime(double seconds) override {
        log_.push_back("snippet at " + timeSliderLogNumber(seconds));
    }
    void setVolume(float volume) override { log_.push_back("volume " + timeSliderLogNumber(volume)); }
    void setEnableRate(bool enabled) override { log_.push_back(enabled ? "enableRate" : "disableRate"); }
    void setRate(float rate) override { log_.push_back("rate " + timeSliderLogNumber(rate)); }
    void play() override { log_.push_back("play"); }
    void pause() override { log_.push_back("pause at " + timeSliderLogNumber(scheduler_.now())); }

private:
    CallLog& log_;
    const platform::TimerScheduler& scheduler_;
};

} // namespace vantle::testing
