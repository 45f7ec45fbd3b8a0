#include "Source/playback/ToolkitScrubSnippetPlayer.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "platform/audio/DefaultOutputDevice.h"
#include "platform/foundation/Url.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vantle {

ToolkitScrubSnippetPlayer::ToolkitScrubSnippetPlayer(const platform::Url& url)
    : ToolkitScrubSnippetPlayer(url, nullptr) {}

ToolkitScrubSnippetPlayer::ToolkitScrubSnippetPlayer(const platform::Url& url,
                                                     std::unique_ptr<platform::AudioDevice> device)
    : path_(url.isFileURL() ? url.path() : std::string()), device_(std::move(device)) {}

void ToolkitScrubSnippetPlayer::load() {
    if (engine_) return;
    engine_ = std::make_unique<rozezeru::AudioEngine>(device_ ? std::move(device_)
                                                              : platform::makeDefaultOutputDevice());
    if (path_.empty()) return;
    avplayer_ = rozezeru::AudioPlayer::make(path_);
    if (!avplayer_) return;
    variSpeed_ = std::make_shared<rozezeru::VariSpeed>(avplayer_);
    engine_->setOutput(variSpeed_);
    applyRate();
}

rozezeru::AudioEngine& ToolkitScrubSnippetPlayer::engine() {
    load();
    return *engine_;
}

bool ToolkitScrubSnippetPlayer::hasSound() {
    load();
    return avplayer_ != nullptr;
}

ToolkitScrubSnippetPlayer::~ToolkitScrubSnippetPlayer() {
    if (avplayer_) avplayer_->stop();
    if (engine_) engine_->stop();
}

bool ToolkitScrubSnippetPlayer::isPlaying() const {
    return avplayer_ && avplayer_->isPlaying();
}

float ToolkitScrubSnippetPlayer::effectiveRate() const {
    return enableRate_ ? rate_ : 1.0f;
}

void ToolkitScrubSnippetPlayer::setCurrentTime(double seconds) {
    if (!std::isfinite(seconds)) return;
    currentTime_ = std::max(0.0, seconds);
    if (!isPlaying()) return;
    avplayer_->stop();
    avplayer_->play(currentTime_);
}

void ToolkitScrubSnippetPlayer::setVolume(float volume) {
    volume_ = std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 0.0f;
    applyVolume();
}

void ToolkitScrubSnippetPlayer::setEnableRate(bool enabled) {
    enableRate_ = enabled;
    applyRate();
}

void ToolkitScrubSnippetPlayer::setRate(float rate) {
    if (!std::isfinite(rate)) return;
    rate_ = std::clamp(rate, rozezeru::VariSpeed::minimumRate, rozezeru::VariSpeed::maximumRate);
    applyRate();
}

void ToolkitScrubSnippetPlayer::play() {
    load();
    if (!avplayer_ || avplayer_->isPlaying()) return;
    if (!engine_->isRunning()) rozezeru::HasAudioEngine::start();
    applyVolume();
    // Always from the position last set or paused at: a paused file player would resume where it
    // stopped instead.
    avplayer_->stop();
    avplayer_->play(currentTime_);
}

void ToolkitScrubSnippetPlayer::pause() {
    if (!isPlaying()) return;
    currentTime_ = avplayer_->currentTime();
    avplayer_->stop();
}

void ToolkitScrubSnippetPlayer::applyRate() {
    if (variSpeed_) variSpeed_->setRate(effectiveRate());
}

void ToolkitScrubSnippetPlayer::applyVolume() {
    // On the engine's mixer, which takes it from the next cycle on, rather than gliding into the
    // snippet's first cycle as the file player's own volume would.
    if (!engine_) return;
    if (const auto& mixer = engine_->mainMixerNode()) mixer->setVolume(volume_);
}

} // namespace vantle
