#include "RozezEru/Internals/BufferAudition.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "platform/audio/AudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/dispatch/Semaphore.h"

#include <atomic>

namespace rozezeru {

namespace {

struct AuditionCompletion {
    std::atomic<bool> done{false};
    platform::Semaphore semaphore;
};

} // namespace

bool audition(const platform::PcmBuffer& buffer, std::unique_ptr<platform::AudioDevice> device) {
    const double rate = buffer.format().sampleRate();
    if (!buffer.format().isValid() || !(rate > 0.0)) {
        Log(LogSite("audition()", LogType::error),
            "🛑 Error: Cannot audition a buffer without a sample rate");
        return false;
    }
    // Asked first, so that the main queue is bound to the main thread rather than to a player's.
    const bool onMainThread = platform::mainQueue().isMainThread();

    auto engine = device ? std::make_unique<AudioEngine>(std::move(device)) : std::make_unique<AudioEngine>();
    // The buffer outlives the call, and the player is stopped before the call ends. Loaded first, so
    // that the player is wired in the buffer's format from the start.
    auto player = std::make_shared<AudioPlayer>();
    player->load(std::shared_ptr<const platform::PcmBuffer>(std::shared_ptr<void>(), &buffer));
    engine->setOutput(player);
    auto completion = std::make_shared<AuditionCompletion>();
    player->completionHandler = [completion] {
        completion->done.store(true);
        completion->semaphore.signal();
    };
    // The device renders from the moment the engine starts, and play() needs a started engine: a
    // first schedule now sets the player node up (its threads included), so that the play() right
    // after the start is quick and the buffer begins with the device's first periods.
    player->scheduleBuffer(player->buffer(), std::nullopt, platform::PlayerBufferOptions::interrupts);
    if (auto started = engine->start(); !started) {
        Log(LogSite("audition()", LogType::error), started.error().message);
        return false;
    }
    player->play();

    const double timeout = double(buffer.frameLength()) / rate + auditionTimeoutMargin;
    const bool played =
        onMainThread ? platform::mainQueue().drainUntil([&] { return completion->done.load(); }, timeout)
                     : completion->semaphore.wait(timeout);
    player->stop();
    engine->avEngine().stop();
    return played;
}

} // namespace rozezeru
