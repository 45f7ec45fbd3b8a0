#pragma once
// A 3D environment (in place of the platform's environment node): a listener with a position and an
// orientation, and any number of sources mixed around it into a stereo output. Each input bus is one
// source, taken as mono (several channels are averaged), played at its own rate (faster or slower, the
// pitch following) and brought to the output's sample rate by a resampler of its own; its place
// and settings are the Audio3DMixing of the node that feeds the bus (a mixer), or the origin when that
// node has none.
//
// A source at distance d and lateral share p (the component of its direction along the listener's
// right, from -1 at hard left to 1 at hard right) is heard at
//     left  = A(d) · cos((p + 1)·π/4),   right = A(d) · sin((p + 1)·π/4)
// (equal-power panning: straight ahead both channels carry 1/√2 of it), where A is the distance
// attenuation of distanceAttenuationParameters(), times its obstruction and occlusion, times
// 1 - reverbBlend while the reverb is on. The reverb, one stereo reverberator of the DSP library,
// takes every source's reverbBlend share (with its distance attenuation and occlusion) and adds its
// output at the reverb level. The sum is scaled by outputVolume(); a mono output gets the mean of the
// two sides, channels beyond the second are silent.
//
// Every gain glides to a new value over glideSeconds, so moving a source or the listener never clicks;
// a new source fades in the same way.
//
// Threads: connect and query on the main thread. The listener, the parameters and the sources' settings
// may be written from any thread and reach the next render cycle; render state is made on the main
// thread, so the render thread neither allocates nor locks.

#include "platform/audio/Audio3DMixing.h"
#include "platform/audio/AudioNode.h"

#include <atomic>
#include <memory>
#include <vector>

namespace platform {

enum class AudioEnvironmentDistanceAttenuationModel : int { exponential = 1, inverse = 2, linear = 3 };

// How loudness falls with distance. With d limited to [referenceDistance, maximumDistance]:
//   exponential  (d / referenceDistance) ^ -rolloffFactor
//   inverse      referenceDistance / (referenceDistance + rolloffFactor · (d - referenceDistance))
//   linear       1 - rolloffFactor · (d - referenceDistance) / (maximumDistance - referenceDistance), not
//   below 0
// Distances are at least 0 and rolloff factors too; a value that is not a finite number is ignored.
// Any thread.
class AudioEnvironmentDistanceAttenuationParameters {
public:
    AudioEnvironmentDistanceAttenuationModel distanceAttenuationModel() const;
    void setDistanceAttenuationModel(AudioEnvironmentDistanceAttenuationModel model);
    float referenceDistance() const { return reference_.load(std::memory_order_relaxed); }
    void setReferenceDistance(float metres);
    float maximumDistance() const { return maximum_.load(std::memory_order_relaxed); }
    void setMaximumDistance(float metres);
    float rolloffFactor() const { return rolloff_.load(std::memory_order_relaxed); }
    void setRolloffFactor(float factor);

    // The gain of a source `distance` metres away.
    float gain(float distance) const;

private:
    std::atomic<int> model_{int(AudioEnvironmentDistanceAttenuationModel::inverse)};
    std::atomic<float> reference_{1.0f};
    std::atomic<float> maximum_{100000.0f};
    std::atomic<float> rolloff_{1.0f};
};

// The environment's reverb: off at first; its level in decibels, -40 to 40. Any thread.
class AudioEnvironmentReverbParameters {
public:
    bool enable() const { return enable_.load(std::memory_order_relaxed); }
    void setEnable(bool enable) { enable_.store(enable, std::memory_order_relaxed); }
    float level() const { return level_.load(std::memory_order_relaxed); }
    void setLevel(float decibels);

private:
    std::atomic<bool> enable_{false};
    std::atomic<float> level_{0.0f};
};

// Kept as chosen: the node renders the same stereo for every output type.
enum class AudioEnvironmentOutputType : int {
    automatic = 0,
    headphones = 1,
    builtInSpeakers = 2,
    externalSpeakers = 3
};

class EnvironmentNode final : public AudioNode, public Audio3DMixing {
public:
    static constexpr double glideSeconds = 0.02;

    EnvironmentNode();
    ~EnvironmentNode() override;

    // The lowest input bus without a connection (the bus count when all are taken). Main thread.
    std::uint32_t nextAvailableInputBus() const;

    Audio3DPoint listenerPosition() const;
    // A position with a coordinate that is not finite is ignored.
    void setListenerPosition(Audio3DPoint position);
    // The two orientations are one: setting either changes the other.
    Audio3DAngularOrientation listenerAngularOrientation() const;
    void setListenerAngularOrientation(Audio3DAngularOrientation orientation);
    // Read back normalised, with `up` made perpendicular to `forward`; a zero forward vector, or an up
    // vector along it, is ignored.
    Audio3DVectorOrientation listenerVectorOrientation() const;
    void setListenerVectorOrientation(Audio3DVectorOrientation orientation);

    AudioEnvironmentDistanceAttenuationParameters& distanceAttenuationParameters() const {
        return *attenuation_;
    }
    AudioEnvironmentReverbParameters& reverbParameters() const { return *reverb_; }

    // A gain of at least 0 (not a number: ignored).
    float outputVolume() const { return volume_.load(std::memory_order_relaxed); }
    void setOutputVolume(float volume);
    AudioEnvironmentOutputType outputType() const;
    void setOutputType(AudioEnvironmentOutputType type);
    // Equal-power panning only.
    std::vector<Audio3DMixingRenderingAlgorithm> applicableRenderingAlgorithms() const;

    std::string typeName() const override { return "EnvironmentNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;
    std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) override;
    std::uint32_t maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const override;
    bool hasGrowableInputs() const override { return true; }

private:
    std::atomic<float> listenerX_{0.0f}, listenerY_{0.0f}, listenerZ_{0.0f};
    // Unit vectors, forward perpendicular to up.
    std::atomic<float> forwardX_{0.0f}, forwardY_{0.0f}, forwardZ_{-1.0f};
    std::atomic<float> upX_{0.0f}, upY_{1.0f}, upZ_{0.0f};
    std::atomic<float> volume_{1.0f};
    std::atomic<int> outputType_{int(AudioEnvironmentOutputType::automatic)};
    // The node's own objects, which every caller changes in place.
    std::unique_ptr<AudioEnvironmentDistanceAttenuationParameters> attenuation_;
    std::unique_ptr<AudioEnvironmentReverbParameters> reverb_;
};

} // namespace platform
