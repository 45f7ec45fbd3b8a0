#pragma once
// A source node that plays scheduled audio files, file segments and PCM buffers, one after the
// other (stands in for the platform's player node). Control it (schedule, prepare, play, pause,
// stop, player time) from one thread at a time, in practice the main thread, which also connects
// it; volume and underruns may be used from any thread.
//
// Timelines. Node time is the engine's sample timeline, the one lastRenderTime() reports. Player
// time starts at 0 when the node starts playing from a stop, advances with every frame the node
// renders while it plays (silent stretches between items included), freezes while it is paused and
// is gone after stop(). It counts frames at the node's output rate, so after a second of playing it
// is that rate, whatever the rate of the device.
//
// Scheduling. Items play in the order they were scheduled. Without a start time an item follows the
// one before it without a gap, or starts as soon as possible when nothing plays. With a start time
// (a node time: a sample time, else a host time while a device drives the engine) it starts then,
// or when the item before it ends if that is later, or at once if the time has passed. A file or
// buffer must have the sample rate of the node's output format and either its channel count or one
// channel, which then feeds every output channel; scheduling anything else fails (the owner of the
// node reconnects it in the item's format instead).
//
// Completions. Each item's completion is called once, with the callback type it was scheduled with,
// on the node's completion thread (never on the render thread): for dataConsumed when the data is no
// longer needed (a file segment read completely, usually well before it plays; a buffer rendered for
// the last time), for dataRendered when its last frame has been rendered, for dataPlayedBack when
// that frame has reached the output: when the engine's timeline has advanced past it by the output
// device's period (framesPerPeriod(), the one figure of its buffering the engine exposes). Offline
// rendering hands its audio to the caller at once, so there rendered and played back coincide. An
// item dropped by an interrupting buffer completes when it is dropped. stop() calls the completions
// of the items it drops itself, on the calling thread, before it returns: an owner that marks itself
// stopped before calling stop() sees its own state in them, even when it plays again right after.
//
// Files are read by the node's own reader of the file. In real time a streaming thread keeps up to
// `streamingBufferSeconds` of each segment decoded ahead of the render thread; if the render thread
// catches up with it anyway (a slow disk), the missing frames play as silence, the segment keeps its
// place in time and underruns() counts the event. When the engine renders offline the render call
// reads what it needs from the file itself, so offline renders are exact but do I/O (and the
// decoder may allocate) on the caller's thread, which is not a real-time thread. The real-time render
// path takes no lock, allocates nothing, does no I/O and logs nothing; a cycle that coincides with
// stop() emptying the schedule renders silence instead of waiting.

#include "platform/audio/AudioNode.h"
#include "platform/foundation/Result.h"
#include "platform/player/PlayerCompletionQueue.h"
#include "platform/player/PlayerItem.h"
#include "platform/player/PlayerNodeTypes.h"
#include "platform/player/PlayerStreamer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace platform {

class AudioFile;
class PcmBuffer;

class AudioPlayerNode final : public AudioNode {
public:
    struct Configuration {
        // How much of a file segment the streaming thread keeps decoded ahead of the render thread.
        double streamingBufferSeconds = 2.0;
    };

    // Outputs standard stereo at 44100 Hz until connected in another format.
    AudioPlayerNode();
    explicit AudioPlayerNode(const Configuration& configuration);
    // Drops the schedule without calling completions.
    ~AudioPlayerNode() override;

    // The whole file. Fails when the file cannot be opened for reading (the node opens a reader of its
    // own of the file `file` reads, which may since have been removed from its path), is empty, or
    // does not fit the node's format.
    Result<void> scheduleFile(const AudioFile& file, const std::optional<AudioTime>& when,
                              PlayerCompletionCallbackType callbackType, PlayerCompletionHandler completion);
    // `frameCount` frames from `startingFrame`, cut at the end of the file. Fails as above, and for a
    // start outside the file or no frames.
    Result<void> scheduleSegment(const AudioFile& file, std::int64_t startingFrame, std::uint32_t frameCount,
                                 const std::optional<AudioTime>& when,
                                 PlayerCompletionCallbackType callbackType,
                                 PlayerCompletionHandler completion);
    // The buffer's frameLength frames as they are now; the node keeps a reference until the item is
    // done. Fails for an empty buffer, a buffer that is not non-interleaved float, and one that does
    // not fit the node's format.
    Result<void> scheduleBuffer(std::shared_ptr<const PcmBuffer> buffer, const std::optional<AudioTime>& when,
                                PlayerBufferOptions options, PlayerCompletionCallbackType callbackType,
                                PlayerCompletionHandler completion);

    // Reads the first `frameCount` frames of the waiting file segments now, on the calling thread
    // (at most the streaming buffer of each), so that playback starts without waiting for the disk;
    // from a segment whose read would first walk a long way through its file (a far place in an MP3
    // not yet counted), and those after it, the streaming thread reads instead.
    void prepare(std::uint32_t frameCount);

    // Starts (player time 0 at the next render, or at the node time `when`), or resumes after
    // pause(). Playing again while playing does nothing. Fails when the node is not attached to a
    // running engine.
    Result<void> play();
    Result<void> play(const AudioTime& when);
    // Freezes player time and the schedule; play() continues from there.
    void pause();
    // Drops everything scheduled, calls the dropped items' completions (on this thread, after the
    // completions already due have run on the completion thread), and resets player time.
    void stop();
    // Between play() and pause() or stop().
    bool isPlaying() const { return controlMode_.load(std::memory_order_relaxed) == modePlaying; }

    // The player time at a node time (a sample time, or a host time while a device drives the engine),
    // as a sample time at the node's output rate; none while the node does not play.
    std::optional<AudioTime> playerTime(const AudioTime& nodeTime) const;
    // The player time at lastRenderTime().
    std::optional<AudioTime> playerTime() const;

    // A gain on the output in [0, 1] (other values are limited to it; not-a-number is 0). A change
    // reaches the output as a linear ramp over one render cycle.
    float volume() const { return volume_.load(std::memory_order_relaxed); }
    void setVolume(float volume);

    // Render cycles in which a file segment's data was not there in time (real time only).
    std::uint64_t underruns() const { return underruns_.load(std::memory_order_relaxed); }

    std::string typeName() const override { return "AudioPlayerNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;
    std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) override;

private:
    static constexpr int modeStopped = 0;
    static constexpr int modePlaying = 1;
    static constexpr int modePaused = 2;

    // The facts of one render call.
    struct Cycle {
        std::int64_t sampleTime = 0; // engine frames
        double engineRate = 0.0;
        double nodeRate = 0.0;
        bool hostTimeValid = false;
        std::uint64_t hostTime = 0;
        bool offline = false;
        std::uint32_t latency = 0; // engine frames between rendering and playing back
        std::int64_t toNodeFrames(std::int64_t engineFrames) const;
        std::int64_t toEngineFrames(std::int64_t nodeFrames) const;
    };

    Result<void> checkFormat(const AudioFormat& format, const char* what) const;
    Result<void> scheduleStream(const AudioFile& file, std::int64_t start, std::int64_t frames,
                                const std::optional<AudioTime>& when,
                                PlayerCompletionCallbackType callbackType,
                                PlayerCompletionHandler completion);
    void publish(std::unique_ptr<PlayerItem> item);
    Result<void> startPlaying(const std::optional<AudioTime>& when);

    // Render thread (or stop() while it holds the render side).
    void takeIncoming();
    void applyControl(const Cycle& cycle);
    void renderItems(const Cycle& cycle, AudioBufferList& out, std::uint32_t from, std::uint32_t frames);
    std::uint32_t renderItem(PlayerItem& item, const Cycle& cycle, AudioBufferList& out, std::uint32_t offset,
                             std::uint32_t frames, bool& finished);
    void finishItem(PlayerItem& item, std::int64_t endSampleTime, std::uint32_t latency);
    void dropItem(PlayerItem& item);
    void releasePlayedBack(std::int64_t renderedUntil, bool all);
    void applyVolume(AudioBufferList& out, std::uint32_t frames);
    void publishAnchor(const Cycle& cycle, std::int64_t playerTimeAtCycle, bool running);
    std::int64_t resolveStart(const AudioTime& when, const Cycle& cycle) const;

    const double streamingSeconds_;

    // Declared before the streamer, which posts to it, so that it is destroyed after it.
    PlayerCompletionQueue completions_;
    PlayerStreamer streamer_;

    // Control thread to render thread.
    PlayerLockFreeStack<PlayerItem, &PlayerItem::incomingNext> incoming_;
    std::atomic<int> controlMode_{modeStopped};
    std::atomic<std::uint64_t> command_{0};
    std::atomic<bool> playAtSampleValid_{false};
    std::atomic<std::int64_t> playAtSample_{0};
    std::atomic<double> playAtRate_{0.0};
    std::atomic<bool> playAtHostValid_{false};
    std::atomic<std::uint64_t> playAtHost_{0};
    std::atomic<float> volume_{1.0f};
    std::optional<AudioTime> playAt_; // control thread

    // Held by the render thread during a cycle, and by stop() while it empties the schedule.
    std::atomic<bool> renderSide_{false};

    // Render side.
    PlayerItem* head_ = nullptr;
    PlayerItem* tail_ = nullptr;
    PlayerItem* waitingForPlayback_ = nullptr;
    int renderMode_ = modeStopped;
    std::uint64_t seenCommand_ = 0;
    bool startPending_ = false;
    std::int64_t startSampleTime_ = 0; // engine frames
    std::int64_t playerSampleTime_ = 0;
    float appliedGain_ = 1.0f;
    bool haveLastCycle_ = false;
    std::int64_t lastCycleSampleTime_ = 0;

    // Render thread to anyone: where player time stood at the start of the last cycle (a sequence lock).
    std::atomic<std::uint32_t> anchorSequence_{0};
    std::atomic<bool> anchorValid_{false};
    std::atomic<std::int64_t> anchorSampleTime_{0};
    std::atomic<double> anchorEngineRate_{0.0};
    std::atomic<bool> anchorHostValid_{false};
    std::atomic<std::uint64_t> anchorHostTime_{0};
    std::atomic<std::int64_t> anchorPlayerTime_{0};
    std::atomic<double> anchorNodeRate_{0.0};
    std::atomic<bool> anchorRunning_{false};

    std::atomic<std::uint64_t> underruns_{0};
};

} // namespace platform
