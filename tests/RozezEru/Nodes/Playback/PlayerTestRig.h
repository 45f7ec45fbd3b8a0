#pragma once
// Test help for AudioPlayer: files made by the test (32-bit float WAV, whose samples come back
// exactly), an engine rendering offline in cycles of known size, and an engine on the null device
// for completions.

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"

#include "tests/support/EngineRig.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace playertest {

using Channels = std::vector<std::vector<float>>;

using Folder = testsupport::TemporaryFolder;

// Frame i of channel c holds (i + 1) / 2^20, negated on channel 1 and scaled by c on the others:
// every frame of a file up to 16 million frames is told apart exactly.
inline float rampValue(std::int64_t frame, std::uint32_t channel = 0) {
    const float value = float(frame + 1) / 1048576.0f;
    return channel == 0 ? value : channel == 1 ? -value : value * float(channel);
}

inline std::shared_ptr<platform::PcmBuffer> rampBuffer(std::uint32_t frames, std::uint32_t channels,
                                                       double rate = 44100.0, std::int64_t first = 0) {
    std::shared_ptr<platform::PcmBuffer> buffer =
        platform::PcmBuffer::make(*platform::AudioFormat::standard(rate, channels), frames);
    for (std::uint32_t c = 0; c < channels; ++c)
        for (std::uint32_t i = 0; i < frames; ++i)
            buffer->channel(c)[i] = rampValue(first + i, c);
    buffer->setFrameLength(frames);
    return buffer;
}

// Writes a 32-bit float WAV whose frame i of channel c is sample(i, c) (in blocks, so that long files
// need little memory).
template <typename Sample>
std::string writeFloatFile(const Folder& folder, const std::string& name, std::int64_t frames,
                           std::uint32_t channels, double rate, Sample sample) {
    platform::AudioFileSettings settings;
    settings.sampleRate = rate;
    settings.numberOfChannels = channels;
    settings.linearPCMBitDepth = 32;
    settings.linearPCMIsFloat = true;
    const std::string path = folder.file(name);
    auto file = platform::AudioFile::openForWriting(path, settings);
    if (!file) throw std::runtime_error("cannot create " + path);
    for (std::int64_t at = 0; at < frames; at += 65536) {
        const auto count = std::uint32_t(std::min<std::int64_t>(65536, frames - at));
        auto block = platform::PcmBuffer::make(*platform::AudioFormat::standard(rate, channels), count);
        for (std::uint32_t c = 0; c < channels; ++c)
            for (std::uint32_t i = 0; i < count; ++i)
                block->channel(c)[i] = sample(at + i, c);
        block->setFrameLength(count);
        if (!file.value()->write(*block)) throw std::runtime_error("cannot write " + path);
    }
    if (!file.value()->close()) throw std::runtime_error("cannot close " + path);
    return path;
}

inline std::string writeRampFile(const Folder& folder, const std::string& name, std::int64_t frames,
                                 std::uint32_t channels, double rate = 44100.0) {
    return writeFloatFile(folder, name, frames, channels, rate,
                          [](std::int64_t i, std::uint32_t c) { return rampValue(i, c); });
}

inline std::shared_ptr<platform::AudioFile> openFile(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    if (!file) throw std::runtime_error("cannot open " + path);
    return std::shared_ptr<platform::AudioFile>(std::move(file.value()));
}

// A player as the output of a toolkit engine that renders offline, cycle by cycle.
struct OfflineRig {
    rozezeru::AudioEngine engine{std::make_unique<platform::NullAudioDevice>()};
    std::shared_ptr<rozezeru::AudioPlayer> player = std::make_shared<rozezeru::AudioPlayer>();

    OfflineRig() {
        engine.setOutput(player);
        if (!engine.startTest(0.0)) throw std::runtime_error("offline engine");
    }
    // Offline, the player node still reports the ends of its items to the main queue, where the
    // player ignores them: they are cleared away here rather than left to later tests.
    ~OfflineRig() {
        player->stop();
        platform::mainQueue().drain();
    }

    // Renders `frames` frames in cycles of at most `cycle` frames; one vector per channel.
    Channels render(std::int64_t frames, std::uint32_t cycle = 1024) {
        auto out = testsupport::renderOfflineFrames(engine.avEngine(), std::uint32_t(frames), cycle);
        if (out.size() != 2) throw std::runtime_error("offline render failed");
        return out;
    }
};

// A player as the output of a toolkit engine on the null device, which renders in periods of 512
// frames as fast as it can (or paced like a sound card).
struct LiveRig {
    rozezeru::AudioEngine engine;
    std::shared_ptr<rozezeru::AudioPlayer> player = std::make_shared<rozezeru::AudioPlayer>();
    // Shared with the handler: a completion may still be queued when the rig is gone.
    std::shared_ptr<int> completions = std::make_shared<int>(0);

    explicit LiveRig(bool paced = false)
        : engine(testsupport::nullDevice(44100.0, 512,
                                         paced ? platform::NullAudioDevice::Pacing::realTime
                                               : platform::NullAudioDevice::Pacing::asFastAsPossible)) {
        platform::mainQueue().bindToCurrentThread();
        // What earlier tests left behind must not count here.
        platform::mainQueue().drain();
        engine.setOutput(player);
        player->completionHandler = [completions = completions] { ++*completions; };
        if (!engine.start()) throw std::runtime_error("null device engine");
    }
    ~LiveRig() {
        player->stop();
        engine.stop();
        platform::mainQueue().drain();
    }

    // Runs the main queue until `count` completions have come (false after a few seconds).
    bool completed(int count, double timeout = 5.0) {
        return platform::mainQueue().drainUntil([&] { return *completions >= count; }, timeout);
    }
};

// A temporary folder and an offline rig whose player plays ramp files made in the folder.
struct OfflinePlayerTest : testing::Test {
    Folder folder;
    OfflineRig rig;
    std::shared_ptr<rozezeru::AudioPlayer> player = rig.player;

    std::string ramp(const std::string& name, std::int64_t frames, std::uint32_t channels,
                     double rate = 44100.0) {
        return writeRampFile(folder, name, frames, channels, rate);
    }
    // Loads a new ramp file of `seconds` at `rate`.
    void loadRamp(double seconds, std::uint32_t channels, double rate = 44100.0, bool buffered = false) {
        player->load(openFile(ramp("ramp" + std::to_string(++files) + ".wav", std::llround(seconds * rate),
                                   channels, rate)),
                     buffered);
    }
    std::pair<double, double> editRange() const { return {player->editStartTime(), player->editEndTime()}; }
    std::pair<rozezeru::NodeStatus::Playback, double> state() const {
        return {player->status(), player->currentTime()};
    }
    // The first sample of channel 0 of the next `frames` frames.
    float firstOfNext(std::int64_t frames = 1024) { return rig.render(frames)[0][0]; }
    int files = 0;
};

// Waits, without running it, until work has been posted to the main queue (false after a few
// seconds): the moment a completion has left the platform's thread.
inline bool waitUntilPending() {
    return testsupport::waitUntil([] { return platform::mainQueue().pendingCount() != 0; });
}

} // namespace playertest
