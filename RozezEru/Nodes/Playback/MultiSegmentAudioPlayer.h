#pragma once
// Plays file segments laid out on one playback timeline, all on one platform player node: each
// segment names a file, the stretch of it to play and the moment on the timeline where that
// stretch begins. Given the timeline's position now and the node time that stands for now, it
// schedules every segment that has not ended, joining those under way in their middle. The caller
// keeps the timeline: after a jump it stops the player and schedules again. Its nodes are those of
// AudioPlayer: a player node feeding a mixer node of its own, which is what the graph connects.
//
// Every member is for one controlling thread, in practice the main thread. Segment completions run
// on the player node's completion thread.

#include "RozezEru/Nodes/Node.h"
#include "platform/audio/AudioTime.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace platform {
class AudioFile;
class AudioPlayerNode;
class MixerNode;
} // namespace platform

namespace rozezeru {

// One segment of the timeline. Times are seconds.
class StreamableAudioSegment {
public:
    virtual ~StreamableAudioSegment() = default;
    virtual std::shared_ptr<platform::AudioFile> audioFile() const = 0;
    // Where on the timeline the segment begins.
    virtual double playbackStartTime() const = 0;
    // The stretch of the file it plays.
    virtual double fileStartTime() const = 0;
    virtual double fileEndTime() const = 0;
    // Called once the player node no longer needs the segment's data (or drops it).
    virtual std::function<void()> segmentCompletion() const { return {}; }
};

class MultiSegmentAudioPlayer : public Node, public HasInternalConnections {
public:
    MultiSegmentAudioPlayer();
    ~MultiSegmentAudioPlayer() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    // The mixer node.
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    // Stops the player node, dropping everything scheduled.
    void stop() override;
    // Attaches the player node to the mixer node's engine and connects the two in the engine's
    // choice of format. Logs "Engine is nil" when the mixer node is in no engine.
    void makeInternalConnections() override;

    const std::shared_ptr<platform::AudioPlayerNode>& playerNode() const { return playerNode_; }
    const std::shared_ptr<platform::MixerNode>& mixerNode() const { return mixerNode_; }

    // The player node's volume, in [0, 1].
    float volume() const;
    void setVolume(float volume);

    void play();

    // scheduleSegments(), then play().
    void playSegments(const std::vector<std::shared_ptr<StreamableAudioSegment>>& audioSegments,
                      double referenceTimeStamp = 0.0,
                      std::optional<platform::AudioTime> referenceNowTime = std::nullopt,
                      double processingDelay = 0.0);
    // Schedules every segment that has not ended by `referenceTimeStamp` (the timeline's position
    // now): one under way from its middle at `referenceNowTime`, later ones at their offsets from it,
    // all moved by `processingDelay`. Without a reference now, the node's last render time stands for
    // it. Nothing before the node has rendered. Segments that are over, empty, non-finite or beyond
    // the frame ranges are skipped.
    void scheduleSegments(const std::vector<std::shared_ptr<StreamableAudioSegment>>& audioSegments,
                          double referenceTimeStamp = 0.0,
                          std::optional<platform::AudioTime> referenceNowTime = std::nullopt,
                          double processingDelay = 0.0);

private:
    std::shared_ptr<platform::AudioPlayerNode> playerNode_;
    std::shared_ptr<platform::MixerNode> mixerNode_;
};

} // namespace rozezeru
