#pragma once
// The toolkit's file and buffer player node: a platform player node feeding a platform mixer node of
// its own, which is what the graph connects. It plays the edit range of an audio file (read from
// disk while playing) or, in buffered mode, a PCM buffer holding that range in memory, optionally
// reversed; it loops, pauses, resumes, seeks, reports its current time and calls its completion
// handler on the main queue once the scheduled audio has been played back.
//
// Every member is for one controlling thread, in practice the main thread, which must also drain
// the main queue (platform::mainQueue()). Make players with std::make_shared: completions reach only
// a player owned by a shared_ptr, and never one that is gone.
//
// The file is connected to the mixer in its own processing format, so its rate and channel count
// never need to match the graph's: the mixer converts. A buffer without a file is connected in its
// own format in the same way.
//
// The implementation is split by topic: AudioPlayer.cpp (model, loading, connections),
// AudioPlayerPlayback.cpp (control and current time), AudioPlayerScheduling.cpp (scheduling and
// completion), AudioPlayerBuffering.cpp (the buffer fill) and AudioPlayerLegacy.cpp (the older
// scheduling entry points); their log records name those files.

#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/NodeStatus.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioTime.h"
#include "platform/foundation/Result.h"
#include "platform/player/PlayerNodeTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class AudioEngine;
class AudioFile;
class AudioPlayerNode;
class MixerNode;
class PcmBuffer;
} // namespace platform

namespace rozezeru {

class PlayerTimeCompensation;

class AudioPlayer : public Node,
                    public HasInternalConnections,
                    public std::enable_shared_from_this<AudioPlayer> {
public:
    using CompletionCallbackType = platform::PlayerCompletionCallbackType;
    using BufferOptions = platform::PlayerBufferOptions;

    // Nothing loaded, nothing attached.
    AudioPlayer();
    // Loads the file (edit range reset); `buffered` as in load().
    explicit AudioPlayer(std::shared_ptr<platform::AudioFile> file,
                         std::optional<bool> buffered = std::nullopt);
    // Plays the buffer in buffered mode.
    explicit AudioPlayer(std::shared_ptr<const platform::PcmBuffer> buffer);
    // Opens the file at `path` and loads it; nothing (the error logged) when it cannot be opened.
    static std::shared_ptr<AudioPlayer> make(const std::string& path,
                                             std::optional<bool> buffered = std::nullopt);
    ~AudioPlayer() override;

    // Node -------------------------------------------------------------------------------------------

    // None: the player has no inputs.
    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    // The mixer node.
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    // play() with everything absent.
    void start() override;
    // Stops playback; completions of the dropped audio call nothing.
    void stop() override;
    bool isStarted() const override { return isPlaying(); }
    // Attaches the player node to the mixer node's engine and connects it to the mixer node in the
    // file's processing format (else the buffer's format, else the player node's own). Logs "Engine
    // is nil" when the mixer node is in no engine.
    void makeInternalConnections() override;

    const std::shared_ptr<platform::AudioPlayerNode>& playerNode() const { return playerNode_; }
    const std::shared_ptr<platform::MixerNode>& mixerNode() const { return mixerNode_; }

    // State ------------------------------------------------------------------------------------------

    // The player node's volume, in [0, 1].
    float volume() const;
    void setVolume(float volume);

    NodeStatus::Playback status() const { return status_; }
    // Playing; paused is not playing.
    bool isPlaying() const { return status_ == NodeStatus::Playback::playing; }

    bool isBuffered() const { return isBuffered_; }
    // Turning it off drops the buffer (a playing player restarts from the file); turning it on fills
    // the buffer at the next start.
    void setBuffered(bool buffered);

    bool isReversed() const { return isReversed_; }
    // A change stops a playing player; reversing a file player turns buffered mode on and fills the
    // buffer at once.
    void setReversed(bool reversed);

    bool isLooping() const { return isLooping_; }
    // In buffered mode a stopped player's node drops what it has scheduled, and a playing player is
    // stopped (with a debug record); in file mode it takes effect at the next end of the file.
    void setLooping(bool looping);

    // True only while seek() replaces the schedule.
    bool isSeeking() const { return seeking_->load(); }

    // Seconds: the file's length at its own rate, else the buffer's, else 0.
    double duration() const;

    // Called on the main thread when the scheduled audio has been played back (before a looping
    // file starts again). Not called after stop(), for audio that a seek dropped, offline, or when
    // nothing could be scheduled.
    std::function<void()> completionHandler;

    const std::shared_ptr<platform::AudioFile>& file() const { return file_; }
    // Replaces the file; a playing player plays the new one at once (and in buffered mode the buffer
    // is filled from it). The connection is not changed: load() does that.
    void setFile(std::shared_ptr<platform::AudioFile> file);

    const std::shared_ptr<const platform::PcmBuffer>& buffer() const { return buffer_; }
    // Buffered mode follows the buffer's presence; a playing player starts again with it.
    void setBuffer(std::shared_ptr<const platform::PcmBuffer> buffer);

    // Disabling keeps the edit range aside and plays 0 to duration; enabling restores it, clamped to
    // the current duration.
    bool isEditTimeEnabled() const { return isEditTimeEnabled_; }
    void setEditTimeEnabled(bool enabled);
    // Seconds of the file's timeline, clamped to [0, duration]; an end of exactly 0 means duration.
    double editStartTime() const { return editStartTime_; }
    void setEditStartTime(double time);
    double editEndTime() const { return editEndTime_; }
    void setEditEndTime(double time);

    // Player time that passes before the audio of the current schedule (see currentTime()).
    double timeBeforePlay() const { return timeBeforePlay_; }
    // The current time when pause() was called.
    double pausedTime() const { return pausedTime_; }
    std::optional<double> savedEditStartTime() const { return savedEditStartTime_; }
    std::optional<double> savedEditEndTime() const { return savedEditEndTime_; }
    // loops while looping, else interrupts.
    BufferOptions bufferOptions() const { return bufferOptions_; }
    // The frames and file frame range of the last buffer fill.
    std::uint32_t frameCount() const { return frameCount_; }
    std::optional<std::int64_t> startingFrame() const { return startingFrame_; }
    std::optional<std::int64_t> endingFrame() const { return endingFrame_; }

    // Loading ----------------------------------------------------------------------------------------

    // Opens the file at `path` and loads it; the opening error is passed on and nothing changes.
    // An absent `buffered` keeps the buffered mode.
    platform::Result<void> load(const std::string& path, std::optional<bool> buffered = std::nullopt);
    // Replaces the file (a playing player plays the new one at once), resets the edit range to the
    // whole file unless `preserveEditTime`, reconnects the player node when the new file's format
    // needs it, and in buffered mode fills the buffer.
    virtual void load(std::shared_ptr<platform::AudioFile> file, std::optional<bool> buffered = std::nullopt,
                      bool preserveEditTime = false);
    // Sets the buffer and buffered mode.
    virtual void load(std::shared_ptr<const platform::PcmBuffer> buffer);
    // Takes `grown`, the file that plays read again after its writer added to it (a recording or a
    // copy still under way), without a break in what plays: an edit range that ran to the old end runs
    // to the new one, and a playing or paused player plays the new frames right after those it has
    // scheduled (once the segment playing ends, when one already waits). False, with nothing changed,
    // when it cannot be taken so (no file, another format, fewer frames, buffered or reversed play, a
    // seek under way, the new frames not schedulable): load it instead.
    bool takeGrownFile(std::shared_ptr<platform::AudioFile> grown);

    // Playback ---------------------------------------------------------------------------------------

    // Plays the edit range, first replaced by `from` and `to` where given (clamped to [0, duration];
    // a `to` of 0 means duration), starting at the node time `at` or at once. Needs an attached
    // player in a running engine (else an error record). Playing does nothing more; a paused player
    // goes on without new scheduling. When nothing can be scheduled the player stays stopped: the
    // scheduling step has logged why, and no completion will come.
    void play(std::optional<double> from = std::nullopt, std::optional<double> to = std::nullopt,
              std::optional<platform::AudioTime> at = std::nullopt,
              CompletionCallbackType completionCallbackType = CompletionCallbackType::dataPlayedBack);
    void pause();
    void resume();
    // Moves by `time` seconds from the current time and plays from there (whatever the status). A
    // target outside the edit range stops the player; a looping player then starts again at the edit
    // start. In file mode the file is played from the target; in buffered mode the buffer is, from
    // the target clamped to the edit range, in its own (possibly reversed) order. Nothing without a
    // file, for 0, or for a time that is not finite.
    void seek(double time);

    // Seconds in the file's timeline (the reversed file's in reversed mode): the edit start when
    // stopped, the time of the pause when paused, else from the player node's clock, corrected by
    // the time compensation when one is installed.
    double currentTime() const;
    // currentTime() over the edit range's length, in [0, 1]; 0 for an empty range.
    double playedFraction() const;

    // Installs what a unit downstream holds back of the player's audio (nothing: no correction).
    void setTimeCompensation(std::shared_ptr<const PlayerTimeCompensation> compensation);
    const std::shared_ptr<const PlayerTimeCompensation>& timeCompensation() const {
        return timeCompensation_;
    }

    // Scheduling -------------------------------------------------------------------------------------

    // The player node counts a segment's frames in 32 bits: a longer range (a file of days) goes on it
    // as segments of at most this many frames, played one after the other. Tests lower it, so that the
    // joins can be heard; it stays within [1, 2^32 - 1].
    void setSegmentFrameLimit(std::int64_t frames);

    // Puts the edit range of the file (or, buffered, the refilled buffer) on the player node, to
    // start at `at` or as soon as the node plays. False, with a record, when nothing was scheduled.
    bool schedule(std::optional<platform::AudioTime> at, CompletionCallbackType completionCallbackType);
    bool scheduleBuffer(std::optional<platform::AudioTime> at, CompletionCallbackType completionCallbackType);
    bool scheduleSegment(std::optional<platform::AudioTime> at,
                         CompletionCallbackType completionCallbackType);
    // The end of the scheduled audio, on the main thread: calls completionHandler, then starts a
    // looping file again or marks the player stopped.
    virtual void internalCompletionHandler();

    // Fills the buffer with the edit range of the file (widened to the player node's channels,
    // reversed when reversed). The player calls it itself whenever it schedules in buffered mode.
    void updateBuffer();

    // Older entry points: they set the buffer, file or looping and schedule, without playing.
    // Looping is on exactly when `options` is loops alone.
    void scheduleBuffer(std::shared_ptr<const platform::PcmBuffer> buffer,
                        std::optional<platform::AudioTime> at, BufferOptions options);
    void scheduleBuffer(const std::string& path, std::optional<platform::AudioTime> at,
                        BufferOptions options);
    void scheduleFile(std::shared_ptr<platform::AudioFile> file, std::optional<platform::AudioTime> at);

private:
    double clampedToDuration(double time) const;
    // Status stopped, the player node stopped (dropping its schedule), timeBeforePlay 0.
    void stopPlayer();
    // Seconds of the player node's clock at its last render; none while it does not play.
    std::optional<double> playerTime() const;
    // The completion block of everything scheduled from now on.
    platform::PlayerCompletionHandler makeCompletion();
    // Forgets the completions of everything scheduled so far (a stop, seek or new schedule).
    void retireCompletions() { ++completionGeneration_; }
    std::optional<platform::AudioFormat> connectionFormat() const;
    // Connects the player node to the mixer node anew in `format`.
    void reconnect(platform::AudioEngine& engine, std::optional<platform::AudioFormat> format);
    // Reconnects when the player node's connection cannot play `format`.
    void fitConnection(const platform::AudioFormat& format);
    void seekInBuffer(double target);
    // Puts the file's frames [start, end) on the player node after what is there: the first segment now
    // (at `at`), the next one behind it, and each further one as a segment before it ends.
    platform::Result<void> scheduleFrames(std::int64_t start, std::int64_t end,
                                          std::optional<platform::AudioTime> at,
                                          CompletionCallbackType completionCallbackType);
    // Schedules the frames of `file` (the file of play, or it grown) from scheduledEndFrame_ on, up to
    // `until` and at most one segment's worth, after what is scheduled; false, logged, when they cannot be.
    bool appendSegment(const platform::AudioFile& file, std::int64_t until);
    // The end of a segment followed by another, on the main thread: the rest of the range, and frames
    // taken since, follow.
    void segmentEnded();
    // Whether frames a grown file adds are played: its segments are on the player node (playing or
    // paused) and no edit end comes before the end of the file.
    bool followsGrowth() const;
    void seekPastTheEnd();

    std::shared_ptr<platform::AudioPlayerNode> playerNode_;
    std::shared_ptr<platform::MixerNode> mixerNode_;
    NodeStatus::Playback status_ = NodeStatus::Playback::stopped;
    bool isBuffered_ = false;
    bool isReversed_ = false;
    bool isLooping_ = false;
    // Read by the completion blocks on the platform's completion thread.
    std::shared_ptr<std::atomic<bool>> seeking_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<platform::AudioFile> file_;
    std::shared_ptr<const platform::PcmBuffer> buffer_;
    bool isEditTimeEnabled_ = false;
    double editStartTime_ = 0.0;
    double editEndTime_ = 0.0;
    double timeBeforePlay_ = 0.0;
    double pausedTime_ = 0.0;
    std::optional<double> savedEditStartTime_;
    std::optional<double> savedEditEndTime_;
    BufferOptions bufferOptions_ = BufferOptions::interrupts;
    std::uint32_t frameCount_ = 0;
    std::optional<std::int64_t> startingFrame_;
    std::optional<std::int64_t> endingFrame_;
    // While file segments are scheduled: the file frame after the last one on the player node, the
    // callback type the first was scheduled with, and how many have not ended yet.
    std::int64_t scheduledEndFrame_ = 0;
    // The file frame where the range being played ends: segments follow until they reach it.
    std::int64_t playEndFrame_ = 0;
    CompletionCallbackType scheduledCallbackType_ = CompletionCallbackType::dataPlayedBack;
    int segmentsQueued_ = 0;
    std::int64_t segmentFrameLimit_ = std::numeric_limits<std::uint32_t>::max();
    // Each completion made has its number; only the end of the item made last ends play, that of an
    // earlier segment (of a long range, or of a grown file) lets the next frames follow (segmentEnded).
    std::uint64_t lastItem_ = 0;
    // A completion counts only while no stop, seek or new schedule came after its audio was
    // scheduled: one already queued on the main queue then belongs to audio that is gone.
    std::uint64_t completionGeneration_ = 0;
    std::shared_ptr<const PlayerTimeCompensation> timeCompensation_;
};

} // namespace rozezeru
