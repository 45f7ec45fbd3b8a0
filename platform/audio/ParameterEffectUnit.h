#pragma once
// The shape of the platform's own single-input effects (delay, distortion, dynamics, limiter, filters,
// reverb): a parameter tree made from a constant table, values the render thread reads without a lock,
// parameter events and ramps applied inside the cycle, and the audio processed in place.
//
// A value set through the tree is limited to the parameter's range (a NaN, or a write to a read-only
// parameter, is ignored) and applies from the next render cycle; reading the tree gives the value in
// force. Scheduled events apply at their frame; a ramp glides in steps of rampSliceFrames frames and
// reads as its target at once. Read-only parameters are meters the render thread publishes.
//
// Threads: as AudioUnit. Subclasses do their DSP in processSlice on the render thread, and build and drop
// their render state in prepareRender and releaseRender, which run while the render thread is shut out.

#include "platform/audio/AudioUnit.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <span>

namespace platform {

// One row of a unit's parameter table.
struct EffectParameterRow {
    const char* identifier;
    const char* name;
    AUParameterAddress address;
    AUValue defaultValue;
    AUValue minValue;
    AUValue maxValue;
    AudioUnitParameterUnit unit;
    AudioUnitParameterOptions flags = AudioUnitParameterFlag::isReadable |
                                      AudioUnitParameterFlag::isWritable | AudioUnitParameterFlag::canRamp;
};

constexpr std::uint32_t effectFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

// 'aufx' `subType` 'appl', no flags: the description of each of the platform's own effects.
constexpr AudioComponentDescription appleEffectDescription(const char (&subType)[5]) {
    return {effectFourCC("aufx"), effectFourCC(subType), effectFourCC("appl"), 0, 0};
}

// Feedback that dies away would otherwise sink into subnormal numbers, which are slow to compute with.
inline float flushTiny(float value) {
    return value > -1e-30f && value < 1e-30f ? 0.0f : value;
}

// Flags of a meter.
inline constexpr AudioUnitParameterOptions effectMeterFlags = AudioUnitParameterFlag::isReadable;

class ParameterEffectUnit : public AudioUnit {
public:
    static constexpr AUAudioFrameCount rampSliceFrames = 32;

    ~ParameterEffectUnit() override;

    // The value in force of the parameter at `address` (a ramp's target); NaN for an unknown address.
    // Any thread.
    AUValue parameterValue(AUParameterAddress address) const;

    // Any channel count, the same on both sides.
    std::vector<int> channelCapabilities() const override { return {-1, -1}; }
    bool canProcessInPlace() const override { return true; }

protected:
    // `rows` must outlive the unit (a constant table); its rows' order is the tree's.
    ParameterEffectUnit(const AudioComponentDescription& description,
                        std::span<const EffectParameterRow> rows);

    // Render thread: the value of row `index` for the slice being processed.
    float current(std::size_t index) const { return ramps_[index].current; }
    // Render thread: publishes a meter's value.
    void publish(std::size_t index, AUValue value) { values_[index].store(value, std::memory_order_relaxed); }
    // Any thread but the render thread: sets row `index` through the tree, as a host would.
    void setRow(std::size_t index, AUValue value);

    // The render state for `channels` channels at `sampleRate`, at most maximumFramesToRender() frames.
    virtual Result<void> prepareRender(std::uint32_t channels, double sampleRate) = 0;
    virtual void releaseRender() {}
    // Clears delay lines, filter memories and envelopes.
    virtual void clearRender() {}
    // Render thread: processes frames [offset, offset + frames) of `io` in place with the current values.
    virtual void processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) = 0;

    Result<void> allocateInternalRenderResources() final;
    void deallocateInternalRenderResources() final;
    void resetInternalRenderState() final;
    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) final;

private:
    // The render thread's view of one value: where it stands and where a ramp takes it.
    struct Ramp {
        float current = 0.0f;
        float target = 0.0f;
        float step = 0.0f;
        AUAudioFrameCount remaining = 0;
        float seen = 0.0f; // the stored value last taken up
    };

    std::ptrdiff_t rowOf(AUParameterAddress address) const;
    AUValue limited(std::size_t row, AUValue value) const;
    void takeUpStoredValues();
    void apply(const AURenderEvent& event);
    void advanceRamps(AUAudioFrameCount frames);

    const std::span<const EffectParameterRow> rows_;
    std::unique_ptr<std::atomic<float>[]> values_;
    std::unique_ptr<Ramp[]> ramps_; // render thread
    bool ramping_ = false;          // render thread
};

} // namespace platform
