#pragma once
// Sums any number of input busses into one output, each input brought to the output's rate (libsamplerate)
// and channel count (see InputConverter) and scaled by its volume and pan; then the sum is scaled by the
// output volume and pan. Connect and query on the main thread; volumes and pans may be set from any
// thread and reach the next render cycle.
//
// Pan law (linear balance, for stereo outputs; other channel counts ignore pan): pan p in [-1, 1] leaves
// the nearer side at full gain and scales the other side by 1 - |p|:
//   left gain  = p > 0 ? 1 - p : 1
//   right gain = p < 0 ? 1 + p : 1
// So pan 0 passes the audio unchanged, and a mono input at pan 0 appears unchanged in both channels.
// An input whose rate is too far from the output's to convert (a ratio beyond 256) stays silent.
//
// Its 3D mixing settings (Audio3DMixing) place it when it feeds an environment node.

#include "platform/audio/Audio3DMixing.h"
#include "platform/audio/AudioNode.h"

#include <atomic>
#include <memory>

namespace platform {

class MixerNode : public AudioNode, public Audio3DMixing {
public:
    static constexpr std::uint32_t maximumInputBusses = 1024;

    MixerNode();

    // The lowest input bus without a connection (the bus count when all are taken). Main thread.
    std::uint32_t nextAvailableInputBus() const;

    // Volumes are gains: at least 0 (negative or not-a-number values become 0), no upper limit.
    void setOutputVolume(float volume);
    float outputVolume() const { return volume_.load(std::memory_order_relaxed); }
    // Balance of the summed output, limited to [-1, 1].
    void setPan(float pan);
    float pan() const { return pan_.load(std::memory_order_relaxed); }

    // Per input bus; out-of-range busses are ignored (and read as 1 and 0).
    void setInputVolume(std::uint32_t bus, float volume);
    float inputVolume(std::uint32_t bus) const;
    void setInputPan(std::uint32_t bus, float pan);
    float inputPan(std::uint32_t bus) const;

    std::string typeName() const override { return "MixerNode"; }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                        const AudioTime& when, std::uint32_t bus) override;
    std::shared_ptr<NodeRenderState>
    makeRenderState(std::uint32_t maximumFrames, const std::shared_ptr<NodeRenderState>& previous) override;
    std::uint32_t maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const override;
    bool hasGrowableInputs() const override { return true; }

private:
    std::atomic<float> volume_{1.0f};
    std::atomic<float> pan_{0.0f};
    std::unique_ptr<std::atomic<float>[]> inputVolumes_;
    std::unique_ptr<std::atomic<float>[]> inputPans_;
};

// The gains of the pan law above for a stereo pair: {left, right}.
struct StereoGains {
    float left = 1.0f;
    float right = 1.0f;
};
StereoGains balanceGains(float pan);

} // namespace platform
