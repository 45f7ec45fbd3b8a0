#include "Source/playback/PlayerAV.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/AudioDevice.h"

namespace vantle {

namespace {
// How far a seek goes while no file is open.
constexpr double seekLimitWithoutFile = 9.9;
} // namespace

PlayerAV::PlayerAV(std::unique_ptr<platform::AudioDevice> device)
    : EntryPlayer(std::move(device), seekLimitWithoutFile) {
    engine_->setOutput(filePlayer_);
    filePlayer_->setVolume(volume_);
    rozezeru::HasAudioEngine::start();
}

PlayerAV::~PlayerAV() = default;

double PlayerAV::currentTime() const {
    return !suspended_ && playable_ && playing_ ? filePlayer_->currentTime() : desiredTime_;
}

void PlayerAV::setVolume(float volume) {
    volume_ = volume;
    filePlayer_->setVolume(volume);
}

} // namespace vantle
