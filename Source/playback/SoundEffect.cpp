#include "Source/playback/SoundEffect.h"

#include "Source/playback/Preferences.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/DefaultOutputDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace vantle {

namespace {

constexpr std::string_view soundEffectAttenuationKey = Preferences::restSoundAttenuationKey;

// The whole file in memory; nothing when it cannot be read.
std::shared_ptr<const platform::PcmBuffer> soundEffectDecode(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    if (!file) return nullptr;
    platform::AudioFile& audio = *file.value();
    const std::int64_t length = audio.length();
    if (length <= 0 || length > std::int64_t(UINT32_MAX)) return nullptr;
    std::shared_ptr<platform::PcmBuffer> buffer =
        platform::PcmBuffer::make(audio.processingFormat(), std::uint32_t(length));
    if (!buffer || !audio.read(*buffer) || buffer->frameLength() == 0) return nullptr;
    return buffer;
}

} // namespace

SoundEffect::SoundEffect(const std::string& fileName, std::unique_ptr<platform::AudioDevice> device)
    : SoundEffect(fileName, std::move(device), platform::UserDefaults::standard()) {}

SoundEffect::SoundEffect(const std::string& fileName, std::unique_ptr<platform::AudioDevice> device,
                         platform::UserDefaults& defaults)
    : engine_(std::make_unique<rozezeru::AudioEngine>(device ? std::move(device)
                                                             : platform::makeDefaultOutputDevice())),
      defaults_(defaults) {
    std::shared_ptr<const platform::PcmBuffer> sound =
        fileName == bellFileName ? makeBell() : soundEffectDecode(fileName);
    if (!sound) return;
    avplayer_ = std::make_shared<rozezeru::AudioPlayer>(std::move(sound));
    engine_->setOutput(avplayer_);
}

SoundEffect::~SoundEffect() {
    if (avplayer_) avplayer_->stop();
    engine_->stop();
}

void SoundEffect::play() {
    if (!avplayer_) return;
    // On the engine's mixer, which applies it from the next cycle on; the file player would glide to it
    // over the cycle that starts the strike.
    if (const auto& mixer = engine_->mainMixerNode())
        mixer->setVolume(volumeForAttenuation(defaults_.floatValue(soundEffectAttenuationKey)));
    if (!engine_->isRunning()) rozezeru::HasAudioEngine::start();
    avplayer_->stop();
    avplayer_->play(0.0);
}

float SoundEffect::volume() const {
    const auto& mixer = engine_->mainMixerNode();
    return mixer ? mixer->volume() : 1.0f;
}

float SoundEffect::volumeForAttenuation(float attenuation) {
    const float a = attenuation > 0.0f ? attenuation : 0.0f;
    return 1.0f / std::pow(10.0f, 2.0f * a);
}

std::shared_ptr<const platform::PcmBuffer> SoundEffect::makeBell(double sampleRate) {
    struct Partial {
        double ratio, amplitude, decaySeconds;
    };
    // A hum an octave down, the strike tone, a minor third, a fifth and the brighter upper partials,
    // which die away first.
    static constexpr Partial partials[] = {
        {0.5, 0.30, 1.6}, {1.0, 0.50, 1.2},  {1.19, 0.22, 0.9}, {1.5, 0.14, 0.7},
        {2.0, 0.28, 0.6}, {2.51, 0.10, 0.4}, {3.0, 0.07, 0.3},  {4.2, 0.05, 0.18},
    };
    constexpr double fundamental = 660.0;
    constexpr double seconds = 3.0;
    constexpr double attackSeconds = 0.004;
    // What still rings at the end fades out instead of stopping with a click.
    constexpr double releaseSeconds = 0.5;
    constexpr float peak = 0.5f;

    auto format = platform::AudioFormat::standard(sampleRate, 2);
    if (!format) return nullptr;
    const auto frames = std::uint32_t(std::lround(seconds * sampleRate));
    std::shared_ptr<platform::PcmBuffer> buffer = platform::PcmBuffer::make(*format, frames);
    if (!buffer) return nullptr;
    float* left = buffer->channel(0);
    float largest = 0.0f;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        double sample = 0.0;
        for (const Partial& partial : partials)
            sample += partial.amplitude * std::exp(-t / partial.decaySeconds) *
                      std::sin(2.0 * std::numbers::pi * fundamental * partial.ratio * t);
        sample *= std::min({1.0, t / attackSeconds, (seconds - t) / releaseSeconds});
        left[i] = float(sample);
        largest = std::max(largest, std::fabs(left[i]));
    }
    const float scale = largest > 0.0f ? peak / largest : 0.0f;
    float* right = buffer->channel(1);
    for (std::uint32_t i = 0; i < frames; ++i) {
        left[i] *= scale;
        right[i] = left[i];
    }
    buffer->setFrameLength(frames);
    return buffer;
}

} // namespace vantle
