#include "RozezEru/Internals/AudioEngine.h"

#include "RozezEru/Internals/AudioEngineDevices.h"
#include "RozezEru/Internals/EngineConnections.h"
#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/MainBundleInfo.h"
#include "RozezEru/Internals/PcmBufferAppend.h"
#include "RozezEru/Internals/RenderToFile.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AudioDevice.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/PcmBuffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace rozezeru {

namespace {

constexpr const char* engineMainMixerName = "RozezEru Engine Mixer";

// trunc(rate × seconds) as a buffer capacity; nothing when it is not one.
std::optional<std::uint32_t> engineFrameCount(double seconds) {
    const double frames = std::trunc(Settings::sampleRate() * seconds);
    if (!(frames >= 0.0 && frames <= double(std::numeric_limits<std::uint32_t>::max()))) return std::nullopt;
    return static_cast<std::uint32_t>(frames);
}

// How often, and how far apart, render(duration:) tries again while another thread renders offline.
constexpr int renderBusyTries = 100;
constexpr std::chrono::milliseconds renderBusyPause(1);

constexpr const char* engineDurationRefusal =
    "the duration must be a finite, non-negative number of seconds whose frames fit one buffer";

template <typename Keep> std::vector<Device> engineDevices(Keep keep) {
    std::vector<Device> result;
    for (AudioDeviceID id : DeviceUtils::devices())
        if (keep(id)) result.emplace_back(id);
    return result;
}

} // namespace

AudioEngine::InputNode::InputNode() : Mixer(1.0f, std::nullopt) {}

AudioEngine::AudioEngine() : input_(std::make_shared<InputNode>()) {}

AudioEngine::AudioEngine(std::unique_ptr<platform::AudioDevice> device)
    : avEngine_(std::move(device)), input_(std::make_shared<InputNode>()) {}

AudioEngine::~AudioEngine() = default;

std::shared_ptr<AudioEngine::InputNode> AudioEngine::input() {
    if (!avEngine_.isInManualRenderingMode() && !MainBundleInfo::entry("NSMicrophoneUsageDescription")) {
        Log(LogSite("input", LogType::error),
            "To use the microphone, you must include the NSMicrophoneUsageDescription in your Info.plist");
        return nullptr;
    }
    if (input_->isNotConnected) {
        (void)avEngine_.attach(input_->avAudioNode());
        if (auto connected = avEngine_.connect(avEngine_.inputNode(), *input_->avAudioNode(), std::nullopt);
            !connected)
            Log(LogSite("input", LogType::error), "🛑 Error:", connected.error().message);
        input_->isNotConnected = false;
    }
    return input_;
}

void AudioEngine::setOutput(std::shared_ptr<Node> output) {
    const std::shared_ptr<Node> old = std::exchange(output_, std::move(output));

    const bool wasRunning = avEngine_.isRunning();
    if (wasRunning) avEngine_.stop();

    if (old) {
        if (mainMixerNode_) mainMixerNode_->removeInput(old, DisconnectStrategy::recursive);
        old->detach();
        removeConnection(avEngine_.outputNode(), *old->avAudioNode(), old->outputFormat());
    }

    if (output_) {
        // A node of another engine is refused here and reported by the main mixer's wiring.
        (void)avEngine_.attach(output_->avAudioNode());
        if (mainMixerNode_) {
            const double rate = Settings::sampleRate();
            if (!(mainMixerNode_->avAudioNode()->outputFormat(0).sampleRate() == rate)) {
                Log(LogSite("output"), "Sample Rate has changed, creating new mainMixerNode at", rate);
                detachMainMixer();
            }
        }
        attachMainMixer();
        if (mainMixerNode_) {
            mainMixerNode_->addInput(output_, ConnectStrategy::complete);
            mainMixerNode_->makeAVConnections();
        }
    }

    // The restart reports a missing output itself; a failure is dropped.
    if (wasRunning) (void)start();
}

void AudioEngine::attachMainMixer() {
    if (mainMixerNode_) return;
    auto mixer = std::make_shared<Mixer>(1.0f, engineMainMixerName);
    (void)avEngine_.attach(mixer->avAudioNode());
    if (auto connected =
            avEngine_.connect(*mixer->avAudioNode(), avEngine_.outputNode(), Settings::audioFormat());
        !connected)
        Log(LogSite("attachMainMixer()", LogType::error), "🛑 Error:", connected.error().message);
    mainMixerNode_ = std::move(mixer);
}

void AudioEngine::detachMainMixer() {
    if (!mainMixerNode_) return;
    removeConnection(avEngine_.outputNode(), *mainMixerNode_->avAudioNode(), Settings::audioFormat());
    mainMixerNode_->removeAllInputs();
    mainMixerNode_->detach();
    mainMixerNode_.reset();
}

void AudioEngine::rewireOutput() {
    if (output_) output_->disconnectInputs();
    setOutput(output_);
}

platform::Result<void> AudioEngine::start() {
    if (!output_) {
        Log(LogSite("start()"), "🛑 Error: Attempt to start engine with no output.");
        return {};
    }
    return avEngine_.start();
}

void AudioEngine::stop() {
    avEngine_.stop();
}

void AudioEngine::pause() {
    avEngine_.pause();
}

std::unique_ptr<platform::PcmBuffer> AudioEngine::startTest(double totalDuration) {
    const auto frames = engineFrameCount(totalDuration);
    if (!frames) {
        Log(LogSite("startTest(totalDuration:)"),
            std::string("🛑 Start Test Error: ") + engineDurationRefusal);
        return nullptr;
    }
    // Manual rendering can only be switched on while stopped; a playing engine would refuse it and
    // leave nothing to render.
    if (avEngine_.isRunning()) avEngine_.stop();
    avEngine_.reset();
    platform::Result<void> ready =
        avEngine_.enableManualRenderingMode(Settings::audioFormat(), maximumFrameCount_);
    if (ready) ready = start();
    if (!ready) Log(LogSite("startTest(totalDuration:)"), "🛑 Start Test Error: " + ready.error().message);

    if (output_) output_->primeLastRenderTime();
    return platform::PcmBuffer::make(avEngine_.manualRenderingFormat(), *frames);
}

std::unique_ptr<platform::PcmBuffer> AudioEngine::render(double duration) {
    const auto frames = engineFrameCount(duration);
    if (!frames) {
        Log(LogSite("render(duration:)"),
            std::string("🛑 Could not render offline ") + engineDurationRefusal);
        return nullptr;
    }
    const std::int64_t target = avEngine_.manualRenderingSampleTime() + *frames;
    const platform::AudioFormat format = avEngine_.manualRenderingFormat();
    auto result = platform::PcmBuffer::make(format, *frames);
    auto slice = platform::PcmBuffer::make(format, maximumFrameCount_);
    if (!result || !slice) {
        Log(LogSite("render(duration:)"),
            "🛑 Could not render offline: the engine is not in manual rendering mode");
        return nullptr;
    }
    int busyTries = 0;
    while (avEngine_.manualRenderingSampleTime() < target) {
        const auto count = static_cast<std::uint32_t>(
            std::min<std::int64_t>(target - avEngine_.manualRenderingSampleTime(), maximumFrameCount_));
        const auto status = avEngine_.renderOffline(count, *slice);
        if (!status) {
            Log(LogSite("render(duration:)"), "🛑 Could not render offline " + status.error().message);
            break;
        }
        if (*status == platform::ManualRenderingStatus::cannotDoInCurrentContext) {
            // Another thread renders: nothing was rendered, so the slice is tried again, but a render
            // that never ends must not keep this call waiting.
            if (++busyTries > renderBusyTries) {
                Log(LogSite("render(duration:)"),
                    "🛑 Could not render offline another render is under way");
                break;
            }
            std::this_thread::sleep_for(renderBusyPause);
            continue;
        }
        busyTries = 0;
        if (*status != platform::ManualRenderingStatus::success) {
            // The slice holds silence or stale frames, not audio.
            Log(LogSite("render(duration:)"),
                *status == platform::ManualRenderingStatus::insufficientDataFromInputNode
                    ? "🛑 Could not render offline the input node had too little data"
                    : "🛑 Could not render offline a node failed to render");
            break;
        }
        (void)append(*result, *slice, 0, slice->frameLength());
    }
    return result;
}

std::shared_ptr<platform::AudioUnitNode>
AudioEngine::findAudioUnit(const std::string& name, const platform::AudioComponentRegistry& registry) {
    for (const auto& component : registry.components(platform::AudioComponentDescription{})) {
        if (component.name != name) continue;
        if (auto made = registry.instantiate(component.description)) return std::move(made).value();
        Log(LogSite("findAudioUnit(named:)"), "🛑 Failed to load Audio Unit named: " + name);
    }
    Log(LogSite("findAudioUnit(named:)"), "🛑 Failed to find Audio Unit named: " + name);
    return nullptr;
}

Device AudioEngine::device() {
    return Device(getDevice(avEngine_));
}

void AudioEngine::setDevice(const Device& device) {
    rozezeru::setDevice(avEngine_, device.deviceID());
}

platform::Result<void> AudioEngine::renderToFile(platform::AudioFile& file, std::uint32_t maximumFrameCount,
                                                 double duration, const std::function<void()>& prerender,
                                                 const std::function<void(double)>& progress) {
    return rozezeru::renderToFile(avEngine_, file, maximumFrameCount, duration, false, 0.00005f, prerender,
                                  progress);
}

std::string AudioEngine::connectionTreeText() const {
    if (!mainMixerNode_) return std::string(connectionTreeLinePrefix) + "mainMixerNode is nil";
    return mainMixerNode_->connectionTreeText();
}

std::vector<Device> AudioEngine::inputDevices() {
    return engineDevices([](AudioDeviceID id) { return DeviceUtils::inputChannels(id) > 0; });
}

std::vector<Device> AudioEngine::outputDevices() {
    return engineDevices([](AudioDeviceID id) { return DeviceUtils::outputChannels(id) > 0; });
}

std::vector<Device> AudioEngine::allDevices() {
    return engineDevices([](AudioDeviceID) { return true; });
}

} // namespace rozezeru
