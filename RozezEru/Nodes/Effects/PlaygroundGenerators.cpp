#include "RozezEru/Nodes/Effects/PlaygroundGenerators.h"

#include "RozezEru/Internals/Settings.h"
#include "platform/audio/SourceNode.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace rozezeru {

namespace {

void playgroundSilence(platform::AudioBufferList& out, std::uint32_t from, std::uint32_t frames) {
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
        std::memset(out.floatData(c) + from, 0, (frames - from) * sizeof(float));
}

void playgroundWrite(platform::AudioBufferList& out, std::uint32_t frame, float sample) {
    for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
        out.floatData(c)[frame] = sample;
}

// 2 pi as the 32-bit float the phase arithmetic uses.
constexpr float playgroundTwoPi = 6.283185f;

} // namespace

// Noise ----------------------------------------------------------------------------------------------

struct PlaygroundNoiseGenerator::State {
    static constexpr std::uint32_t blockFrames = 256;
    // r is drawn from 0 ... 2^24 (2^24 + 1 values) by multiplying a random word by their count and keeping
    // the high half; low halves below this are drawn again, so that every r is equally likely.
    static constexpr std::uint64_t outcomes = 16777217;
    static constexpr auto rejectedBelow = std::uint32_t((std::uint64_t(1) << 32) % outcomes);

    std::atomic<float> amplitude{1.0f};
    std::atomic<bool> bypassed{true};
    // Render thread: random words and how many of them are left.
    std::array<std::uint32_t, blockFrames + 16> words{};
    std::size_t next = 0, available = 0;

    bool refill(std::size_t count) {
        ssize_t got = -1;
        // Requests above 256 bytes may be cut short by a signal; a few tries are enough.
        for (int attempt = 0; attempt < 3 && got < 0; ++attempt) {
            got = getrandom(words.data(), count * sizeof(std::uint32_t), GRND_NONBLOCK);
            if (got < 0 && errno != EINTR) break;
        }
        next = 0;
        available = got > 0 ? std::size_t(got) / sizeof(std::uint32_t) : 0;
        return available > 0;
    }

    // A value in -1 ... 1; false when the random source gave nothing.
    bool draw(float& value) {
        for (;;) {
            if (next == available && !refill(words.size())) return false;
            const std::uint64_t product = std::uint64_t(words[next++]) * outcomes;
            if (std::uint32_t(product) < rejectedBelow) continue;
            const auto r = std::uint32_t(product >> 32);
            value = r == 16777216u ? 1.0f : -1.0f + 2.0f * (float(r) * 0x1p-24f);
            return true;
        }
    }

    bool render(std::uint32_t frames, platform::AudioBufferList& out) {
        if (bypassed.load(std::memory_order_relaxed)) {
            playgroundSilence(out, 0, frames);
            return true;
        }
        for (std::uint32_t done = 0; done < frames;) {
            const std::uint32_t block = std::min(blockFrames, frames - done);
            // A few words beyond the block cover the rare redraws.
            if (!refill(std::min<std::size_t>(block + 16, words.size()))) {
                playgroundSilence(out, done, frames);
                return true;
            }
            for (std::uint32_t i = 0; i < block; ++i, ++done) {
                float value = 0.0f;
                if (!draw(value)) {
                    playgroundSilence(out, done, frames);
                    return true;
                }
                playgroundWrite(out, done, amplitude.load(std::memory_order_relaxed) * value);
            }
        }
        return true;
    }
};

PlaygroundNoiseGenerator::PlaygroundNoiseGenerator(float amplitude) : state_(std::make_shared<State>()) {
    state_->amplitude.store(amplitude);
    sourceNode_ = std::make_shared<platform::SourceNode>(
        Settings::audioFormat(),
        [state = state_](const platform::AudioTime&, std::uint32_t frames, platform::AudioBufferList& out) {
            return state->render(frames, out);
        });
}

PlaygroundNoiseGenerator::~PlaygroundNoiseGenerator() = default;

std::shared_ptr<platform::AudioNode> PlaygroundNoiseGenerator::avAudioNode() const {
    return sourceNode_;
}

float PlaygroundNoiseGenerator::amplitude() const {
    return state_->amplitude.load();
}

void PlaygroundNoiseGenerator::setAmplitude(float amplitude) {
    state_->amplitude.store(amplitude);
}

void PlaygroundNoiseGenerator::start() {
    state_->bypassed.store(false);
}

void PlaygroundNoiseGenerator::stop() {
    state_->bypassed.store(true);
}

bool PlaygroundNoiseGenerator::isStarted() const {
    return !state_->bypassed.load();
}

// Oscillator -----------------------------------------------------------------------------------------

struct PlaygroundOscillator::State {
    std::vector<float> table; // fixed once made
    std::atomic<float> frequency{440.0f};
    std::atomic<float> amplitude{1.0f};
    std::atomic<bool> bypassed{true};
    float phase = 0.0f; // render thread

    bool render(std::uint32_t frames, platform::AudioBufferList& out) {
        if (bypassed.load(std::memory_order_relaxed) || table.empty()) {
            playgroundSilence(out, 0, frames);
            return true;
        }
        const float increment =
            (playgroundTwoPi / float(Settings::sampleRate())) * frequency.load(std::memory_order_relaxed);
        const float length = float(table.size());
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float position = length * (phase / playgroundTwoPi);
            // Rounding can bring the product up to the length itself.
            const std::size_t index = position > 0.0f ? std::min(std::size_t(position), table.size() - 1) : 0;
            playgroundWrite(out, i, table[index] * amplitude.load(std::memory_order_relaxed));
            phase += increment;
            if (phase >= playgroundTwoPi) phase -= playgroundTwoPi;
            if (phase < 0.0f) phase += playgroundTwoPi;
            // An increment beyond a whole turn, or one that is not a number, needs more than one step.
            if (!(phase >= 0.0f && phase < playgroundTwoPi)) {
                phase = std::isfinite(phase) ? std::fmod(phase, playgroundTwoPi) : 0.0f;
                if (phase < 0.0f) phase += playgroundTwoPi;
                if (!(phase < playgroundTwoPi)) phase = 0.0f;
            }
        }
        return true;
    }
};

PlaygroundOscillator::PlaygroundOscillator(std::shared_ptr<Table> waveform, float frequency, float amplitude)
    : waveform_(std::move(waveform)), state_(std::make_shared<State>()) {
    if (waveform_) state_->table = waveform_->content();
    state_->frequency.store(frequency);
    state_->amplitude.store(amplitude);
    sourceNode_ = std::make_shared<platform::SourceNode>(
        Settings::audioFormat(),
        [state = state_](const platform::AudioTime&, std::uint32_t frames, platform::AudioBufferList& out) {
            return state->render(frames, out);
        });
}

PlaygroundOscillator::~PlaygroundOscillator() = default;

std::shared_ptr<platform::AudioNode> PlaygroundOscillator::avAudioNode() const {
    return sourceNode_;
}

float PlaygroundOscillator::frequency() const {
    return state_->frequency.load();
}

void PlaygroundOscillator::setFrequency(float frequency) {
    state_->frequency.store(frequency);
}

float PlaygroundOscillator::amplitude() const {
    return state_->amplitude.load();
}

void PlaygroundOscillator::setAmplitude(float amplitude) {
    state_->amplitude.store(amplitude);
}

void PlaygroundOscillator::start() {
    state_->bypassed.store(false);
}

void PlaygroundOscillator::stop() {
    state_->bypassed.store(true);
}

bool PlaygroundOscillator::isStarted() const {
    return !state_->bypassed.load();
}

} // namespace rozezeru
