#pragma once
// The toolkit's engine: one platform engine playing one node graph. A client builds its chain of
// nodes, assigns the last one to `output` and starts the engine. The output is never connected to
// the platform output directly but through the engine's main mixer, "RozezEru Engine Mixer",
// connected in Settings::audioFormat() and rebuilt when that format's sample rate has changed.
//
// The engine has no thread or lock of its own: every member is for the one controlling thread (the
// main thread); the platform engine renders on its device's thread. startTest(), render() and
// renderToFile() render offline on the calling thread and block it meanwhile.

#include "RozezEru/Internals/Device.h"
#include "RozezEru/Nodes/Mixer.h"
#include "platform/audio/AudioComponentRegistry.h"
#include "platform/audio/AudioEngine.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class AudioDevice;
class AudioFile;
class AudioUnitNode;
class PcmBuffer;
} // namespace platform

namespace rozezeru {

class AudioEngine {
public:
    // The node through which the device's input (the microphone) enters the graph.
    class InputNode : public Mixer {
    public:
        InputNode();
        bool isNotConnected = true;
    };

    // Plays through platform::makeDefaultOutputDevice().
    AudioEngine();
    // Plays through `device` (the null device in tests).
    explicit AudioEngine(std::unique_ptr<platform::AudioDevice> device);
    virtual ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    platform::AudioEngine& avEngine() { return avEngine_; }
    const platform::AudioEngine& avEngine() const { return avEngine_; }
    // The frame limit of one offline render call.
    std::uint32_t maximumFrameCount() const { return maximumFrameCount_; }

    // Absent until an output was set.
    const std::shared_ptr<Mixer>& mainMixerNode() const { return mainMixerNode_; }

    // The input node, connected to the platform input on first use. Nothing (with an error record)
    // when the application has no "NSMicrophoneUsageDescription" entry, unless rendering offline.
    virtual std::shared_ptr<InputNode> input();

    const std::shared_ptr<Node>& output() const { return output_; }
    // Takes the old output out of the engine and wires the new one (and all upstream of it) into the
    // main mixer, which is made on first use and rebuilt when Settings' sample rate has changed. A
    // running engine is stopped meanwhile and started again.
    virtual void setOutput(std::shared_ptr<Node> output);

    // Makes the main mixer when there is none.
    virtual void attachMainMixer();
    // Takes the main mixer down (its inputs leave the engine when they feed nothing else).
    virtual void detachMainMixer();
    // Breaks every connection upstream of the output and wires it again.
    virtual void rewireOutput();

    // Without an output, logs "🛑 Error: Attempt to start engine with no output." and succeeds
    // without starting; otherwise the platform engine's start.
    virtual platform::Result<void> start();
    virtual void stop();
    virtual void pause();
    bool isRunning() const { return avEngine_.isRunning(); }

    // Puts the engine into offline rendering (Settings::audioFormat(), maximumFrameCount() frames per
    // call) and starts it; a failure is logged ("🛑 Start Test Error: …") and the call goes on. Returns
    // an empty buffer for trunc(rate × totalDuration) frames, or nothing for a duration that is not
    // a finite, non-negative count of at most 2^32 - 1 frames.
    virtual std::unique_ptr<platform::PcmBuffer> startTest(double totalDuration);
    // Renders trunc(rate × duration) frames offline (after startTest) and returns them; a render
    // error is logged ("🛑 Could not render offline …") and ends with the frames rendered so far, as
    // does another thread's render that still runs after about a hundred tries a millisecond apart.
    virtual std::unique_ptr<platform::PcmBuffer> render(double duration);

    // A new unit of the first component named `name` that can be made; nothing, with a record
    // ("🛑 Failed to find Audio Unit named: …"), when none can.
    virtual std::shared_ptr<platform::AudioUnitNode> findAudioUnit(
        const std::string& name,
        const platform::AudioComponentRegistry& registry = platform::AudioComponentRegistry::shared());

    // The output device, and a change of it (a running engine goes on through the new one).
    virtual Device device();
    virtual void setDevice(const Device& device);

    // Renders `duration` seconds into `file` offline (see rozezeru::renderToFile, not until silent,
    // threshold 0.00005) and passes its failure on.
    virtual platform::Result<void> renderToFile(platform::AudioFile& file, std::uint32_t maximumFrameCount,
                                                double duration, const std::function<void()>& prerender = {},
                                                const std::function<void(double)>& progress = {});

    // The main mixer's tree text, or "RozezEru | mainMixerNode is nil".
    std::string connectionTreeText() const;

    // The devices with input channels, with output channels, and all of them, in the system's order.
    static std::vector<Device> inputDevices();
    static std::vector<Device> outputDevices();
    static std::vector<Device> allDevices();

private:
    platform::AudioEngine avEngine_;
    const std::uint32_t maximumFrameCount_ = 1024;
    std::shared_ptr<Mixer> mainMixerNode_;
    const std::shared_ptr<InputNode> input_;
    std::shared_ptr<Node> output_;
};

} // namespace rozezeru
