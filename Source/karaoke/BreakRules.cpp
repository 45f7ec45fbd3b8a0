#include "Source/karaoke/BreakRules.h"

#include <algorithm>
#include <cmath>

namespace vantle {

using Music = BreakRules::Step::Music;

BreakRules::BreakRules(const platform::Clock& clock) : clock_(clock), since_(clock.now()) {}

void BreakRules::setFadeOutSeconds(double seconds) {
    if (std::isfinite(seconds)) fadeOut_ = std::clamp(seconds, 0.0, 30.0);
}

void BreakRules::setHasMusic(bool hasMusic) {
    hasMusic_ = hasMusic;
    if (!hasMusic && (phase_ == Phase::fadingIn || phase_ == Phase::breakMusic)) phase_ = Phase::ended;
}

double BreakRules::elapsed() const {
    return clock_.now().timeIntervalSince(since_);
}

BreakRules::Step BreakRules::songStarted() {
    const bool sounding =
        phase_ == Phase::fadingIn || phase_ == Phase::breakMusic || phase_ == Phase::fadingOut;
    phase_ = Phase::song;
    return sounding ? Step{Music::pause} : Step{};
}

BreakRules::Step BreakRules::songEnded() {
    if (phase_ != Phase::song) return {};
    since_ = clock_.now();
    if (!hasMusic_) {
        phase_ = Phase::ended;
        return {};
    }
    phase_ = Phase::fadingIn;
    return {Music::fadeIn, fadeInSeconds};
}

void BreakRules::songStopped() {
    if (phase_ == Phase::song) phase_ = Phase::ended;
}

BreakRules::Step BreakRules::hostStartsNext() {
    switch (phase_) {
    case Phase::song:
    case Phase::fadingOut:
        return {};
    case Phase::ended:
        phase_ = Phase::song;
        return {Music::keep, 0, false, true};
    case Phase::fadingIn:
    case Phase::breakMusic:
        break;
    }
    since_ = clock_.now();
    phase_ = Phase::fadingOut;
    // A fade of nothing is the start at once.
    if (fadeOut_ <= 0) return tick();
    return {Music::fadeOut, fadeOut_};
}

BreakRules::Step BreakRules::tick(std::optional<double> heard) {
    switch (phase_) {
    case Phase::song:
        if (heard && audioEnd_ && *heard >= *audioEnd_) {
            Step step = songEnded();
            step.endSong = true;
            return step;
        }
        return {};
    case Phase::fadingIn:
        if (elapsed() >= fadeInSeconds) phase_ = Phase::breakMusic;
        return {};
    case Phase::fadingOut:
        if (elapsed() < fadeOut_) return {};
        phase_ = Phase::song;
        return {Music::pause, 0, false, true};
    case Phase::ended:
    case Phase::breakMusic:
        return {};
    }
    return {};
}

} // namespace vantle
