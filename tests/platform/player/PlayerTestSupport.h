#pragma once
// Fixtures and helpers of the player node tests: tone files written with AudioFile, an engine
// rendering offline, a node that records what passes through it, and a recorder of completions.

#include "tests/support/EngineRig.h"

#include "platform/audio/AudioEngine.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/audio/RenderContext.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"
#include "platform/player/AudioPlayerNode.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace playertest {

using namespace platform;
using Channels = std::vector<std::vector<float>>;
using testsupport::nullDevice;
using testsupport::waitUntil;

using testsupport::stereo;
using TempFolder = testsupport::TemporaryFolder;

// A different tone per channel over a small offset, so that no sample is 0 and a misplaced frame shows.
inline Channels tone(std::int64_t frames, std::uint32_t channels, double rate) {
    Channels out(channels, std::vector<float>(std::size_t(frames)));
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::int64_t i = 0; i < frames; ++i)
            out[c][std::size_t(i)] =
                0.1f + 0.4f * float(std::sin(2.0 * M_PI * (330.0 + 110.0 * c) * double(i) / rate + 0.3 * c)) +
                0.05f * float((i * 7919 + c * 13) % 97) / 97.0f;
    return out;
}

// A buffer holding the samples.
inline std::shared_ptr<PcmBuffer> bufferOf(const Channels& data, double rate) {
    std::shared_ptr<PcmBuffer> buffer = PcmBuffer::make(
        *AudioFormat::standard(rate, std::uint32_t(data.size())), std::uint32_t(data[0].size()));
    for (std::size_t c = 0; c < data.size(); ++c)
        std::copy(data[c].begin(), data[c].end(), buffer->channel(std::uint32_t(c)));
    buffer->setFrameLength(std::uint32_t(data[0].size()));
    return buffer;
}

// Writes the samples into a 32-bit float WAV file, which gives them back exactly.
inline void writeFile(const std::string& path, const Channels& data, double rate) {
    AudioFileSettings settings;
    settings.sampleRate = rate;
    settings.numberOfChannels = std::uint32_t(data.size());
    settings.linearPCMBitDepth = 32;
    settings.linearPCMIsFloat = true;
    auto file = AudioFile::openForWriting(path, settings).value();
    if (!file->write(*bufferOf(data, rate)) || !file->close())
        throw std::runtime_error("cannot write " + path);
}

inline std::unique_ptr<AudioFile> openFile(const std::string& path) {
    return std::move(AudioFile::openForReading(path).value());
}

// A tone (stereo 44.1 kHz unless told) written to `name` in `folder` and opened again.
struct ToneFile {
    std::string path;
    Channels data;
    std::unique_ptr<AudioFile> file;
    ToneFile(const TempFolder& folder, const std::string& name, std::int64_t frames,
             std::uint32_t channels = 2, double rate = 44100.0)
        : path(folder.file(name)), data(tone(frames, channels, rate)) {
        writeFile(path, data, rate);
        file = openFile(path);
    }
};

// Records the completions it hands out: which one, its type, and the thread it ran on.
class CompletionLog {
public:
    struct Entry {
        int id;
        PlayerCompletionCallbackType type;
        std::thread::id thread;
        std::chrono::steady_clock::time_point at;
    };

    PlayerCompletionHandler handler(int id, std::function<void()> also = {}) {
        return [this, id, also](PlayerCompletionCallbackType type) {
            if (also) also();
            std::lock_guard lock(mutex_);
            entries_.push_back({id, type, std::this_thread::get_id(), std::chrono::steady_clock::now()});
            changed_.notify_all();
        };
    }

    // Waits (up to a few seconds, which only a broken node reaches) for `count` entries.
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
    }

    std::vector<Entry> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }

    std::vector<int> ids() const {
        std::vector<int> out;
        for (const auto& entry : entries())
            out.push_back(entry.id);
        return out;
    }

    std::size_t size() const {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Entry> entries_;
};

// Frames whose every channel holds value(n) on channel 0 and -value(n) on the others.
inline Channels ramp(std::size_t frames, std::uint32_t channels, float first, float step) {
    Channels out(channels, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i)
        for (std::uint32_t c = 0; c < channels; ++c)
            out[c][i] = (c == 0 ? 1.0f : -1.0f) * (first + step * float(i));
    return out;
}

inline std::vector<float> slice(const std::vector<float>& from, std::size_t start, std::size_t count) {
    return std::vector<float>(from.begin() + std::ptrdiff_t(start),
                              from.begin() + std::ptrdiff_t(start + count));
}

inline std::vector<float> zeros(std::size_t count) {
    return std::vector<float>(count, 0.0f);
}

inline std::vector<float> joined(std::initializer_list<std::vector<float>> parts) {
    std::vector<float> out;
    for (const auto& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// Appends `more` to `out`, channel by channel.
inline void append(Channels& out, const Channels& more) {
    for (std::size_t c = 0; c < out.size(); ++c)
        out[c].insert(out[c].end(), more[c].begin(), more[c].end());
}

// Asserts that the first `frames` frames of every channel repeat `loop` from its start.
inline void expectLooped(const Channels& out, const Channels& loop, std::size_t frames) {
    for (std::size_t c = 0; c < loop.size(); ++c)
        for (std::size_t i = 0; i < frames; ++i)
            ASSERT_EQ(out[c][i], loop[c][i % loop[c].size()]) << "channel " << c << ", frame " << i;
}

// The log outlives the node, whose completion thread calls it.
class PlayerTest : public ::testing::Test {
protected:
    CompletionLog log;
    TempFolder folder;
};

// An engine rendering offline into stereo (or `channels`) at `rate`, with a player node feeding the
// output node directly (no mixer between them, so samples arrive unchanged).
struct OfflineRig {
    AudioEngine engine{std::make_unique<NullAudioDevice>()};
    std::shared_ptr<AudioPlayerNode> player;
    AudioFormat format;

    explicit OfflineRig(double rate = 44100.0, std::uint32_t channels = 2,
                        AudioPlayerNode::Configuration configuration = {})
        : player(std::make_shared<AudioPlayerNode>(configuration)),
          format(*AudioFormat::standard(rate, channels)) {
        if (!engine.enableManualRenderingMode(format, 4096) || !engine.attach(player) ||
            !engine.connect(*player, engine.outputNode(), format) || !engine.start())
            throw std::runtime_error("offline engine");
    }

    // Renders `frames` frames in slices of `slice`, one vector per channel.
    Channels render(std::uint32_t frames, std::uint32_t sliceFrames = 1000) {
        Channels out = testsupport::renderOfflineFrames(engine, frames, sliceFrames);
        if (out.empty()) throw std::runtime_error("render failed");
        return out;
    }

    std::int64_t sampleTime() const { return engine.manualRenderingSampleTime(); }

    Result<void> schedule(const Channels& data, PlayerBufferOptions options = PlayerBufferOptions::none,
                          PlayerCompletionCallbackType type = PlayerCompletionCallbackType::dataRendered,
                          PlayerCompletionHandler handler = {},
                          std::optional<AudioTime> when = std::nullopt) {
        return player->scheduleBuffer(bufferOf(data, format.sampleRate()), when, options, type,
                                      std::move(handler));
    }
};

// Long enough for the completion thread (which looks every few milliseconds) to deliver anything
// already posted; used to show that nothing was.
inline void letCompletionsArrive() {
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
}

// Copies its input to its output and records the first `capacity` frames that pass from the first
// cycle with sound on, with the thread that rendered them. Allocates nothing while rendering.
class RecorderNode final : public AudioNode {
public:
    RecorderNode(const AudioFormat& format, std::size_t capacity)
        : AudioNode(1, 1), recordedChannels(format.channelCount(), std::vector<float>(capacity)) {
        setDefaultInputFormat(0, format);
        setDefaultOutputFormat(0, format);
    }

    Channels recordedChannels;
    std::atomic<std::size_t> recorded{0};
    // Frames that passed before the first sound.
    std::atomic<std::size_t> silentFrames{0};
    std::atomic<std::size_t> renderThread{0};

    static std::size_t threadKey(std::thread::id id) { return std::hash<std::thread::id>{}(id); }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out, const AudioTime&,
                        std::uint32_t) override {
        renderThread.store(threadKey(std::this_thread::get_id()));
        const AudioBufferList* in = nullptr;
        context.pullInput(0, frames, in);
        if (!hearing_) {
            hearing_ = in && std::any_of(in->floatData(0), in->floatData(0) + frames,
                                         [](float v) { return v != 0.0f; });
            silentFrames.fetch_add(hearing_ ? 0 : frames, std::memory_order_relaxed);
        }
        const std::size_t at = recorded.load(std::memory_order_relaxed);
        const std::size_t keep =
            !hearing_ ? 0 : std::min<std::size_t>(frames, recordedChannels[0].size() - at);
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
            if (in)
                std::memcpy(out.floatData(c), in->floatData(c), frames * sizeof(float));
            else
                std::memset(out.floatData(c), 0, frames * sizeof(float));
            std::memcpy(recordedChannels[c].data() + at, out.floatData(c), keep * sizeof(float));
        }
        recorded.store(at + keep, std::memory_order_release);
        return RenderStatus::success;
    }

private:
    bool hearing_ = false;
};

} // namespace playertest
