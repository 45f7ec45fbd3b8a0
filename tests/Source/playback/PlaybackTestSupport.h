#pragma once
// Test help for the player and the break timer: tone files with tags, a null device that renders as
// fast as it can, a delegate and a main window that record what they were told.

#include "Source/playback/Player.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/AudioDevice.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"
#include "tests/platform/files/AudioFileFixtures.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/EngineRig.h"
#include "tests/support/Signals.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/TestDevices.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace playbacktest {

struct Tags {
    std::string title, album;
};

// A 440 Hz tone (the fixtures' tone) of `seconds`, 44.1 kHz stereo, written with libsndfile in the
// format of `sndfileFormat`, with the tags when given.
inline bool writeTone(const std::string& path, double seconds,
                      int sndfileFormat = SF_FORMAT_WAV | SF_FORMAT_FLOAT, const Tags& tags = {}) {
    std::vector<std::pair<int, std::string>> strings;
    if (!tags.title.empty()) strings.emplace_back(SF_STR_TITLE, tags.title);
    if (!tags.album.empty()) strings.emplace_back(SF_STR_ALBUM, tags.album);
    return testsupport::writeWithSndfile(path, sndfileFormat,
                                         fixtures::tone(std::llround(seconds * 44100.0), 2, 44100.0), 44100,
                                         -1.0, -1, strings);
}

using testsupport::writeSineFile;

using testsupport::fastDevice;

// A device without hardware that renders periods of 512 frames at `speed` times real time: faster than
// a sound card, yet paced, so that what a test measures in periods does not depend on how quickly
// another thread got to look.
class QuickDevice final : public testsupport::FixedFormatDevice {
public:
    explicit QuickDevice(double speed = 8.0) : FixedFormatDevice("Quick"), speed_(speed) {
        buffer_ = platform::PcmBuffer::make(outputFormat(), 512);
        buffer_->setFrameLength(512);
    }
    ~QuickDevice() override { stop(); }
    platform::Result<void> start(Client& client) override {
        if (thread_.joinable()) return {};
        stopRequested_ = false;
        thread_ = std::thread([this, &client] {
            const auto period = std::chrono::nanoseconds(std::int64_t(1e9 * 512 / 44100.0 / speed_));
            auto due = std::chrono::steady_clock::now();
            while (!stopRequested_) {
                if (periods_ >= allowed_) {
                    // Held until the test allows more periods (or stops the device); pacing starts afresh.
                    std::unique_lock lock(holdMutex_);
                    holding_ = true;
                    held_.wait(lock, [this] { return stopRequested_ || periods_ < allowed_; });
                    holding_ = false;
                    due = std::chrono::steady_clock::now();
                    continue;
                }
                platform::AudioBufferList list = buffer_->bufferList(512);
                client.renderDevicePeriod(
                    512, list,
                    std::uint64_t(std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch())
                                      .count()));
                ++periods_;
                due += period;
                std::this_thread::sleep_until(due);
            }
        });
        return {};
    }
    void stop() override {
        if (!thread_.joinable()) return;
        {
            std::lock_guard lock(holdMutex_);
            stopRequested_ = true;
        }
        held_.notify_all();
        thread_.join();
    }
    bool isRunning() const override { return thread_.joinable(); }
    std::uint64_t periodsRendered() const { return periods_; }
    // Renders no period past the `count`th, so that what a test reads on the main thread afterwards
    // was rendered by then however late it reads; holding() once it waits there.
    void allowPeriods(std::uint64_t count) {
        {
            std::lock_guard lock(holdMutex_);
            holding_ = false;
            allowed_ = count;
        }
        held_.notify_all();
    }
    bool holding() const { return holding_; }
    // The periods that hold `seconds` of sound.
    static std::uint64_t periodsOf(double seconds) { return std::uint64_t(seconds * 44100.0 / 512.0); }
    // Renders `seconds` more from the period reached, and waits there.
    void renderOnly(double seconds) { allowPeriods(periodsRendered() + periodsOf(seconds)); }
    // Renders on with no period to wait at.
    void renderOn() { allowPeriods(~std::uint64_t(0)); }

private:
    double speed_;
    std::unique_ptr<platform::PcmBuffer> buffer_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    std::atomic<std::uint64_t> periods_{0};
    std::atomic<std::uint64_t> allowed_{~std::uint64_t(0)};
    std::atomic<bool> holding_{false};
    std::mutex holdMutex_;
    std::condition_variable held_;
};

// A device that never starts, as a sound card that has gone away.
using BrokenDevice = testsupport::RefusingDevice;

class RecordingDelegate final : public vantle::PlayerDelegate {
public:
    void refreshDisplay() override { ++refreshes; }
    void playerDidFinish() override {
        ++finishes;
        if (onFinish) onFinish();
    }
    void updateForMode() override {}
    void resetScreensaverIdle() override { ++idleResets; }
    void clearPrevEntry() override { ++prevEntryClears; }
    void entryDurationChanged(const std::shared_ptr<vantle::PlaylistEntry>& entry) override {
        toldLengths.emplace_back(entry, entry->_cachedDuration);
        if (onLength) onLength();
    }
    void nothingToPlay() override { ++refusals; }
    void keyShiftChanged() override { ++keyChanges; }
    void songArchiveChanged(const std::string& message) override { archiveChanges.push_back(message); }

    int refreshes = 0;
    int keyChanges = 0;
    int finishes = 0;
    int idleResets = 0;
    int prevEntryClears = 0;
    int refusals = 0;
    std::function<void()> onFinish;
    std::function<void()> onLength;
    std::vector<std::pair<std::shared_ptr<vantle::PlaylistEntry>, std::optional<double>>> toldLengths;
    std::vector<std::string> archiveChanges;
};

using testsupport::consoleHas;
using testsupport::spoilInPlace;
using testsupport::touchFile;

// Runs the main queue until `done`. The deadline only ends a broken run: a machine under load renders
// seconds of stretched audio slowly.
inline bool waitFor(const std::function<bool()>& done, double timeout = 30.0) {
    return platform::mainQueue().drainUntil(done, timeout);
}

inline std::shared_ptr<vantle::PlaylistEntry> entryFor(const std::string& path) {
    return vantle::PlaylistEntry::make(platform::Url::fileURLWithPath(path));
}

// One channel of a buffer, for the measurements of the support library.
inline std::vector<float> channelSamples(const platform::PcmBuffer& buffer, std::uint32_t channel) {
    return {buffer.channel(channel), buffer.channel(channel) + buffer.frameLength()};
}

// The largest magnitude in any channel of a buffer.
inline float bufferPeak(const platform::PcmBuffer& buffer) {
    float largest = 0.0f;
    for (std::uint32_t channel = 0; channel < buffer.format().channelCount(); ++channel)
        largest = std::max(largest, testsupport::peak(channelSamples(buffer, channel)));
    return largest;
}

// The whole of the file; empty when it does not read.
inline std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The bytes of `from` written over `to` in one write, on its inode: no watch sees it half written.
inline bool writeOverInOneWrite(const std::string& from, const std::string& to) {
    const std::string bytes = fileBytes(from);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    return !bytes.empty() && bool(out.write(bytes.data(), std::streamsize(bytes.size())));
}

inline std::string fileURL(const std::string& path) {
    return platform::Url::fileURLWithPath(path).absoluteString();
}

} // namespace playbacktest
