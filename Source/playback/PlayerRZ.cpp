#include "Source/playback/PlayerRZ.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "RozezEru/Nodes/Playback/TimePitchCompensation.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/DefaultOutputDevice.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/files/AudioFileMetadata.h"
#include "platform/foundation/Console.h"

#include <atomic>
#include <string>
#include <vector>

namespace vantle {

namespace {

// The default device, telling once per run when there is no sound card to play to.
std::unique_ptr<platform::AudioDevice> playerOutputDevice() {
    std::unique_ptr<platform::AudioDevice> device = platform::makeDefaultOutputDevice();
    static std::atomic<bool> told{false};
    if (dynamic_cast<platform::NullAudioDevice*>(device.get()) && !told.exchange(true))
        platform::consolePrint("no sound card could be opened: playing to the null device");
    return device;
}

// The tags printed when a file is loaded: its title, its kind (genre) and its album.
bool playerPrintsTag(const std::string& key) {
    return key == "title" || key == "genre" || key == "album";
}

} // namespace

PlayerRZ::PlayerRZ() : PlayerRZ(playerOutputDevice()) {}

PlayerRZ::PlayerRZ(std::unique_ptr<platform::AudioDevice> device) : EntryPlayer(std::move(device), 0.0) {
    timePitch_ = std::make_shared<rozezeru::TimePitch>(filePlayer_, 1.0f, 0.0f, 8.0f);
    mixer_ = std::make_shared<rozezeru::Mixer>(std::vector<std::shared_ptr<rozezeru::Node>>{timePitch_},
                                               std::nullopt);
    highShelfFilter_ = std::make_shared<rozezeru::HighShelfParametricEqualizerFilter>(mixer_);
    // The file player's time is then the time heard, not the time the stretcher has taken in.
    filePlayer_->setTimeCompensation(std::make_shared<rozezeru::TimePitchCompensation>(timePitch_));
    engine_->setOutput(highShelfFilter_);
    mixer_->setVolume(volume_);
    rozezeru::HasAudioEngine::start();
}

PlayerRZ::~PlayerRZ() = default;

double PlayerRZ::currentTime() const {
    return filePlayer_->currentTime();
}

// ---- entry ----

void PlayerRZ::load(const std::shared_ptr<PlaylistEntry>& entry) {
    const std::uint64_t tagRead = ++*tagReads_;
    if (!engine_->isRunning()) {
        platform::consolePrint("🎈restarting rzplayer");
        filePlayer_->play(std::nullopt, std::nullopt, std::nullopt,
                          rozezeru::AudioPlayer::CompletionCallbackType::dataPlayedBack);
    }
    EntryPlayer::load(entry);
    if (!playable_) return;
    filePlayer_->setVolume(1.0f);
    // The tags are read on a worker, so that a file whose headers send the reader far never holds the
    // window; they are printed only while this load is the player's last and its entry still current.
    std::weak_ptr<std::uint64_t> reads = tagReads_;
    std::weak_ptr<PlaylistEntry> loaded = entry;
    platform::globalQueue().async([this, reads, tagRead, loaded, path = entry->_url.path()] {
        auto metadata = platform::readMetadata(path);
        if (!metadata) return;
        std::vector<std::string> lines;
        for (const auto& item : metadata->items)
            if (playerPrintsTag(item.key)) lines.push_back(item.value);
        if (lines.empty()) return;
        platform::mainQueue().async([this, reads, tagRead, loaded, lines = std::move(lines)] {
            // The count goes with the player: while it is there, so is the player.
            const std::shared_ptr<std::uint64_t> last = reads.lock();
            if (!last || *last != tagRead || !entry_ || entry_ != loaded.lock()) return;
            for (const std::string& line : lines)
                platform::consolePrint(line);
        });
    });
}

void PlayerRZ::reload() {
    if (!entry_) {
        playable_ = false;
        platform::consolePrint("can't reload()");
        return;
    }
    reopen();
}

void PlayerRZ::fileReopened() {
    filePlayer_->setVolume(1.0f);
    takeFileDuration(entry_);
}

// ---- transport ----

bool PlayerRZ::readyToPlay() {
    reload();
    return playableOrRefused();
}

void PlayerRZ::stopFilePlayer() {
    if (filePlayer_->status() == rozezeru::NodeStatus::Playback::stopped) return;
    filePlayer_->stop();
    // What the stretcher still holds of the old position must not be heard at the next start.
    timePitch_->reset();
}

// ---- sound ----

void PlayerRZ::setVolume(float volume) {
    volume_ = volume;
    mixer_->setVolume(volume);
}

void PlayerRZ::setPan(float pan) {
    mixer_->setPan(pan);
    pan_ = mixer_->pan();
}

void PlayerRZ::setTrebleGain(float gain) {
    highShelfFilter_->gain.setWrappedValue(gain);
}

void PlayerRZ::setRate(float rate) {
    timePitch_->setRate(rate);
}

void PlayerRZ::setMode(PlayerMode mode) {
    EntryPlayer::setMode(mode);
    const bool karaoke = mode == PlayerMode::karaoke || mode == PlayerMode::karaokePrepare;
    timePitch_->setOverlap(karaoke ? platform::TimePitchUnit::shortWindowOverlap
                                   : platform::TimePitchUnit::finerEngineOverlap);
}

void PlayerRZ::applyKeyShift(int semitones) {
    timePitch_->setPitch(100.0f * float(semitones));
}

} // namespace vantle
