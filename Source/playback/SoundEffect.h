#pragma once
// A short sound (the break bell) played through a small engine of its own, at the volume the preferences
// give the break sound. Main thread only.

#include "RozezEru/Internals/HasAudioEngine.h"

#include <memory>
#include <string>

namespace platform {
class AudioDevice;
class PcmBuffer;
class UserDefaults;
} // namespace platform

namespace rozezeru {
class AudioEngine;
class AudioPlayer;
} // namespace rozezeru

namespace vantle {

class SoundEffect final : public rozezeru::HasAudioEngine {
public:
    // The name of the application's bell; it is made in code (makeBell), not read from a file.
    static constexpr const char* bellFileName = "bell.mp3";

    // `fileName` is the bell's name or the path of an audio file, decoded whole. A file that cannot be
    // read leaves the effect silent. `device` null: the default output device. The attenuation is read
    // from `defaults` at each play.
    explicit SoundEffect(const std::string& fileName,
                         std::unique_ptr<platform::AudioDevice> device = nullptr);
    SoundEffect(const std::string& fileName, std::unique_ptr<platform::AudioDevice> device,
                platform::UserDefaults& defaults);
    ~SoundEffect();
    SoundEffect(const SoundEffect&) = delete;
    SoundEffect& operator=(const SoundEffect&) = delete;

    // Plays the sound from its start (again from the start when it is still sounding) at the volume
    // 1 / 10^(2a) for a = "breaksoundAttenuation". Starts the engine when it is not running. Nothing
    // without a sound.
    void play();
    bool hasSound() const { return avplayer_ != nullptr; }
    // The volume of the last play (1 before the first).
    float volume() const;
    // The file player, null without a sound.
    const std::shared_ptr<rozezeru::AudioPlayer>& avplayer() const { return avplayer_; }

    rozezeru::AudioEngine& engine() override { return *engine_; }

    // 1 / 10^(2a); an attenuation below 0 (or not a number) counts as 0, so the sound never plays above
    // full volume.
    static float volumeForAttenuation(float attenuation);
    // A bell struck once: a few inharmonic partials around 660 Hz, each decaying at its own pace, 3 s of
    // stereo at `sampleRate`, peaking at half of full scale.
    static std::shared_ptr<const platform::PcmBuffer> makeBell(double sampleRate = 44100.0);

private:
    std::unique_ptr<rozezeru::AudioEngine> engine_;
    std::shared_ptr<rozezeru::AudioPlayer> avplayer_;
    platform::UserDefaults& defaults_;
};

} // namespace vantle
