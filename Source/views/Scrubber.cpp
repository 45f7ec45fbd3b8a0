#include "Source/views/Scrubber.h"

#include "Source/views/TimeSliderPlayer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vantle {

float scrubSnippetVolume(float mainVolume) {
    float volume = std::min(mainVolume * 0.5f, 1.0f);
    return std::isfinite(volume) && volume > 0 ? volume : 0.0f;
}

std::shared_ptr<Scrubber> Scrubber::make(std::shared_ptr<TimeSliderPlayer> manager,
                                         std::unique_ptr<ScrubSnippetPlayer> avPlayer,
                                         std::function<float()> mainVolume,
                                         platform::TimerScheduler& scheduler) {
    return std::make_shared<Scrubber>(MakeKey{}, std::move(manager), std::move(avPlayer),
                                      std::move(mainVolume), scheduler);
}

Scrubber::Scrubber(MakeKey, std::shared_ptr<TimeSliderPlayer> manager,
                   std::unique_ptr<ScrubSnippetPlayer> avPlayer, std::function<float()> mainVolume,
                   platform::TimerScheduler& scheduler)
    : manager_(std::move(manager)), avPlayer_(std::move(avPlayer)), mainVolume_(std::move(mainVolume)),
      scheduler_(scheduler) {}

Scrubber::~Scrubber() = default;

void Scrubber::setScrubbing(bool scrubbing) {
    scrubbing_ = scrubbing;
    scrub();
}

void Scrubber::scrub() {
    if (!scrubbing_ || scrubPlaying_) return;
    if (!manager_) return;
    double time = manager_->currentTime();
    if (!avPlayer_) return;
    avPlayer_->setCurrentTime(time);
    avPlayer_->setVolume(scrubSnippetVolume(mainVolume_ ? mainVolume_() : 1.0f));
    avPlayer_->setEnableRate(true);
    avPlayer_->setRate(snipRate);
    avPlayer_->play();
    scrubPlaying_ = true;
    // The handler holds the scrubber, so a snippet always ends with a pause even after the main
    // view has replaced this scrubber.
    snipTimer_ = scheduler_.scheduleOnce(snipTime, [self = shared_from_this()] { self->snippetEnded(); });
}

void Scrubber::snippetEnded() {
    // Dropping the fired timer's handle breaks the cycle scrubber → timer → handler → scrubber.
    platform::DispatchTimer fired = std::move(snipTimer_);
    avPlayer_->pause();
    scrubPlaying_ = false;
    scrub();
}

} // namespace vantle
