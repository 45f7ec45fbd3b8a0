#include "Source/mainwindow/StandInPlayer.h"

#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/Badge.h"

#include <algorithm>
#include <cmath>

namespace vantle {

void SilentPlayer::setEntry(std::shared_ptr<PlaylistEntry> entry) {
    setPlaying(false);
    entry_.reset();
    playable_ = false;
    duration_ = 0;
    desiredTime_ = 0;
    if (!entry) return;
    if (std::optional<double> length = entry->duration()) {
        entry_ = std::move(entry);
        duration_ = *length;
        playable_ = true;
    } else {
        platform::consolePrint("can't open " + entry->_url.absoluteString());
    }
}

void SilentPlayer::setCurrentTime(double seconds) {
    suspend();
    const double lower = seconds >= 0 ? seconds : 0.0;
    desiredTime_ = std::min(duration_ - 0.1, lower);
    if (delegate_) delegate_->refreshDisplay();
    resume();
}

void SilentPlayer::skipToEndIfWithin(double seconds) {
    if (playing_ && seconds > duration_ - desiredTime_) setCurrentTime(duration_);
}

void SilentPlayer::play() {
    if (!playable_) return;
    static bool said = false;
    if (!said) {
        said = true;
        platform::consolePrint("Vantle: there is no audio player yet; nothing is heard.");
    }
    if (mode_ == PlayerMode::dance && entry_) entry_->beginTimeRange(desiredTime_);
    setPlaying(true);
}

void SilentPlayer::pause() {
    if (playing_ && playable_) recordPlayedRange();
}

void SilentPlayer::suspend() {
    if (suspended_) return;
    if (playing_ && playable_) recordPlayedRange();
    suspended_ = true;
}

void SilentPlayer::stop() {
    if (!suspended_) pause();
    setPlaying(false);
}

void SilentPlayer::start() {
    if (suspended_)
        setPlaying(true);
    else
        play();
}

void SilentPlayer::resume() {
    if (!suspended_) return;
    suspended_ = false;
    if (playing_) play();
}

void SilentPlayer::setPlaying(bool playing) {
    playing_ = playing;
    if (!delegate_) return;
    platform::dockTile().setBadgeLabel(playing ? "►" : "");
    delegate_->resetScreensaverIdle();
    if (playing) delegate_->clearPrevEntry();
}

SilentBreakTimer::SilentBreakTimer(const platform::Clock& clock) : clock_(clock) {}

void SilentBreakTimer::arm(std::optional<double>) {
    static bool said = false;
    if (!said) {
        said = true;
        platform::consolePrint("Vantle: there is no break bell yet; breaks are only shown.");
    }
    armedAt_ = clock_.now().timeIntervalSinceReferenceDate;
}

void SilentBreakTimer::toggle() {
    if (armedAt_)
        cancel();
    else
        arm(std::nullopt);
}

std::optional<double> SilentBreakTimer::fractionRemaining() const {
    if (!armedAt_) return std::nullopt;
    const double minutes = platform::UserDefaults::standard().doubleValue("timerDuration");
    const double length = minutes >= 1 ? minutes * 60 : 60;
    const double elapsed = clock_.now().timeIntervalSinceReferenceDate - *armedAt_;
    if (elapsed >= length) return std::nullopt;
    return 1 - elapsed / length;
}

} // namespace vantle
