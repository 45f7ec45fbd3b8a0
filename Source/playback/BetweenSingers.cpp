#include "Source/playback/BetweenSingers.h"

#include "Source/playback/PlayerRZ.h"

namespace vantle {

BetweenSingers::BetweenSingers(ApplicationPlayer& player, const platform::Clock& clock, Handlers handlers,
                               platform::DispatchQueue* opener)
    : player_(player), rules_(clock), handlers_(std::move(handlers)) {
    if (auto* graph = dynamic_cast<PlayerRZ*>(&player)) {
        music_ = std::make_unique<BreakMusic>(*graph, opener);
        // No track opens now: this break is silent, as without music; the next one tries again.
        music_->setSilentHandler([this] {
            rules_.setHasMusic(false);
            rules_.setHasMusic(!music_->tracks().empty());
        });
    }
}

void BetweenSingers::setTracks(std::vector<std::string> paths) {
    if (!music_) return;
    music_->setTracks(std::move(paths));
    rules_.setHasMusic(!music_->tracks().empty());
}

void BetweenSingers::songStarted() {
    apply(rules_.songStarted());
}

void BetweenSingers::songEnded() {
    apply(rules_.songEnded());
}

bool BetweenSingers::startNext() {
    if (rules_.phase() == BreakRules::Phase::song) return false;
    apply(rules_.hostStartsNext());
    return true;
}

void BetweenSingers::tick() {
    apply(rules_.tick(player_.isPlaying() ? std::optional<double>(player_.playbackTime()) : std::nullopt));
}

void BetweenSingers::apply(const BreakRules::Step& step) {
    if (step.endSong && handlers_.endSong) handlers_.endSong();
    switch (step.music) {
    case BreakRules::Step::Music::keep:
        break;
    case BreakRules::Step::Music::fadeIn:
        if (!music_ || !music_->fadeIn(step.seconds)) {
            rules_.setHasMusic(false);
            rules_.setHasMusic(music_ && !music_->tracks().empty());
        }
        break;
    case BreakRules::Step::Music::fadeOut:
        if (music_) music_->fadeOut(step.seconds);
        break;
    case BreakRules::Step::Music::pause:
        if (music_) music_->pause();
        break;
    }
    if (step.startSong && handlers_.startSong) handlers_.startSong();
}

} // namespace vantle
