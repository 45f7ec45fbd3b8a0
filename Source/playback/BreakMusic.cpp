#include "Source/playback/BreakMusic.h"

#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEruEX/Fader.h"
#include "Source/playback/PlayerRZ.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/SerialQueue.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <utility>

namespace vantle {

namespace {

platform::DispatchQueue& programOpener() {
    // Made after the main queue, so that it goes before it at exit: an opening ending then still finds
    // the queue it answers on.
    (void)platform::mainQueue();
    static platform::SerialQueue opener("break music");
    return opener;
}

} // namespace

struct BreakMusic::Opened {
    unsigned opening = 0;
    std::vector<std::pair<std::string, std::string>> refused;
    std::optional<std::size_t> index;
    std::shared_ptr<platform::AudioFile> file;
};

BreakMusic::BreakMusic(PlayerRZ& player, platform::DispatchQueue* opener)
    : owner_(player), opener_(opener ? *opener : programOpener()) {
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
    // A track being opened may be gone from the list: the opening starts again on the new one.
    if (pending_) {
        if (tracks_.empty()) {
            ++*opening_;
            pending_.reset();
        } else {
            openFrom(0);
        }
    }
}

void BreakMusic::openFrom(std::size_t from) {
    const unsigned opening = ++*opening_;
    opener_.async([tracks = tracks_, from, opening, token = std::weak_ptr<unsigned>(opening_), this] {
        Opened result;
        result.opening = opening;
        for (std::size_t tried = 0; tried < tracks.size() && !result.file; ++tried) {
            const std::size_t index = (from + tried) % tracks.size();
            auto file = platform::AudioFile::openForReading(tracks[index]);
            if (!file) {
                result.refused.emplace_back(tracks[index], file.error().message);
                continue;
            }
            result.index = index;
            result.file = std::shared_ptr<platform::AudioFile>(std::move(*file));
        }
        platform::mainQueue().async([result = std::move(result), token, this]() mutable {
            const std::shared_ptr<unsigned> current = token.lock();
            if (current && *current == result.opening) opened(std::move(result));
        });
    });
}

void BreakMusic::opened(Opened result) {
    for (const auto& [path, why] : result.refused)
        if (refused_) refused_(path, why);
    const Pending pending = pending_.value_or(Pending{});
    pending_.reset();
    if (!result.file) {
        loaded_.reset();
        if (silent_) silent_();
        return;
    }
    player_->stop();
    player_->load(std::move(result.file), false);
    loaded_ = result.index;
    paused_ = false;
    if (!pending.play) return;
    player_->play();
    if (pending.fade) {
        fader_->leftGain.projectedValue()->ramp(1.0f, float(*pending.fade));
        fader_->rightGain.projectedValue()->ramp(1.0f, float(*pending.fade));
    }
}

bool BreakMusic::fadeIn(double seconds) {
    if (pending_) {
        pending_ = Pending{true, std::max(0.0, seconds)};
        return true;
    }
    if (!loaded_) {
        if (tracks_.empty()) return false;
        pending_ = Pending{true, std::max(0.0, seconds)};
        openFrom(0);
        return true;
    }
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
    if (pending_) pending_->fade.reset();
    fader_->leftGain.projectedValue()->ramp(0.0f, float(std::max(0.0, seconds)));
    fader_->rightGain.projectedValue()->ramp(0.0f, float(std::max(0.0, seconds)));
}

void BreakMusic::pause() {
    fadeOut(0.0);
    if (pending_) pending_->play = false;
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
    pending_ = Pending{true, std::nullopt};
    openFrom(*loaded_ + 1);
}

} // namespace vantle
