#pragma once
// The file and buffer player node: a platform player node feeding a platform mixer of its own.
// For now it plays a PCM buffer once, from its start; files, segments, seeking, looping, pausing and
// edit times come with the full player. Main thread; the completion handler runs on the main queue.

#include "RozezEru/Nodes/Node.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace platform {
struct AudioBufferList;
class AudioNode;
class MixerNode;
class PcmBuffer;
} // namespace platform

namespace rozezeru {

class AudioPlayer : public Node, public HasInternalConnections {
public:
    AudioPlayer();
    ~AudioPlayer() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    // The player's mixer, which the graph connects.
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;
    std::shared_ptr<platform::AudioNode> playerNode() const;
    const std::shared_ptr<platform::MixerNode>& mixerNode() const { return mixerNode_; }

    // Attaches the player node to the mixer's engine and connects it to the mixer in the buffer's
    // format (the mixer converts it). Nothing while the mixer is in no engine.
    void makeInternalConnections() override;

    const std::shared_ptr<const platform::PcmBuffer>& buffer() const { return buffer_; }
    // A playing player stops and plays the new buffer from its start.
    void setBuffer(std::shared_ptr<const platform::PcmBuffer> buffer);
    // Whether a buffer is set.
    bool isBuffered() const { return buffer_ != nullptr; }

    // Called on the main queue once the whole buffer has been played back.
    std::function<void()> completionHandler;

    // Plays the whole buffer once, from its start, when the player is in a running engine and has
    // a buffer; nothing otherwise. Returns at once.
    void play();
    // Stops playback; the completion handler is not called for the rest.
    void stop() override;
    // play() as a node's start.
    void start() override;
    bool isPlaying() const;
    bool isStarted() const override { return isPlaying(); }

private:
    struct Playback;
    // Render thread.
    static bool renderPlayback(Playback& playback, std::uint32_t frames, platform::AudioBufferList& out);
    void stopPlayback();

    std::shared_ptr<Playback> playback_;
    std::shared_ptr<platform::AudioNode> playerNode_;
    std::shared_ptr<platform::MixerNode> mixerNode_;
    std::shared_ptr<const platform::PcmBuffer> buffer_;
    std::jthread watcher_;
};

} // namespace rozezeru
