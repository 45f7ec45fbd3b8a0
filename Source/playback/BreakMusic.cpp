#include "Source/playback/BreakMusic.h"

#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEruEX/Fader.h"
#include "Source/playback/PlayerRZ.h"
#include "platform/files/AudioFile.h"

#include <algorithm>

namespace vantle {

BreakMusic::BreakMusic(PlayerRZ& player) : owner_(player) {
    player_ = std::make_shared<rozezeru::AudioPlayer>();
    fader_ = std::make_shared<rozezeru::Fader>(player_, 0.0f);
    player_->completionHandler = [this] { trackEnded(); };
    owner_.mixer()->addInput(fader_, rozezeru::ConnectStrategy::incremental);
}

BreakMusic::~BreakMusic() {
    player_->completionHandler = nullptr;
    player_->stop();
    owner_.mixer()->removeInput(fader_);
}

void BreakMusic::setTracks(std::vector<std::string> paths) {
    std::optional<std::size_t> kept;
    if (loaded_) {
        const auto found = std::find(paths.begin(), paths.end(), tracks_[*loaded_]);
        if (found != paths.end()) kept = static_cast<std::size_t>(found - paths.begin());
    }
    tracks_ = std::move(paths);
    if (loaded_ && !kept) {
        // The track playing was taken off: the break goes on with the first.
        player_->stop();
        paused_ = false;
    }
    loaded_ = kept;
}

bool BreakMusic::loadFrom(std::size_t from) {
    for (std::size_t tried = 0; tried < tracks_.size(); ++tried) {
        const std::size_t index = (from + tried) % tracks_.size();
        auto opened = platform::AudioFile::openForReading(tracks_[index]);
        if (!opened) {
            if (refused_) refused_(tracks_[index], opened.error().message);
            continue;
        }
        player_->stop();
        player_->load(std::shared_ptr<platform::AudioFile>(std::move(*opened)), false);
        loaded_ = index;
        paused_ = false;
        return true;
    }
    loaded_.reset();
    return false;
}

bool BreakMusic::fadeIn(double seconds) {
    if (!loaded_ && !loadFrom(0)) return false;
    if (paused_)
        player_->resume();
    else if (!player_->isPlaying())
        player_->play();
    paused_ = false;
    fader_->leftGain.projectedValue()->ramp(1.0f, float(std::max(0.0, seconds)));
    fader_->rightGain.projectedValue()->ramp(1.0f, float(std::max(0.0, seconds)));
    return true;
}

void BreakMusic::fadeOut(double seconds) {
    fader_->leftGain.projectedValue()->ramp(0.0f, float(std::max(0.0, seconds)));
    fader_->rightGain.projectedValue()->ramp(0.0f, float(std::max(0.0, seconds)));
}

void BreakMusic::pause() {
    fadeOut(0.0);
    if (!player_->isPlaying()) return;
    player_->pause();
    paused_ = true;
}

bool BreakMusic::playing() const {
    return player_->isPlaying();
}

double BreakMusic::trackTime() const {
    return loaded_ ? player_->currentTime() : 0.0;
}

void BreakMusic::trackEnded() {
    if (!loaded_ || tracks_.empty()) return;
    if (loadFrom(*loaded_ + 1)) player_->play();
}

} // namespace vantle
