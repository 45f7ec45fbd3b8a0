#pragma once
// The record behind one kernel parameter: the value last asked for and the linear ramp the render thread
// is running towards it. `target` and `changeCounter` cross threads (any thread writes them through the
// kernel's setParameter); every other field belongs to the render thread, or to the configuring thread
// while the kernel does not render.

#include <atomic>
#include <cstdint>

namespace rozezeru {

struct ParameterRamper {
    std::atomic<float> target{0.0f};
    float endValue = 0.0f;
    // Change per sample; the current value is endValue + slope × samplesRemaining.
    float slope = 0.0f;
    std::uint32_t samplesRemaining = 0;
    std::atomic<std::uint32_t> changeCounter{0};
    // The changeCounter value last turned into a ramp.
    std::uint32_t updateCounter = 0;

    float currentValue() const { return float(samplesRemaining) * slope + endValue; }

    // A ramp from the current value to `value` over `samples` frames; 0 frames jump.
    void startRamp(float value, std::uint32_t samples) {
        if (samples == 0) {
            slope = 0.0f;
        } else {
            slope = (currentValue() - value) / float(samples);
        }
        samplesRemaining = samples;
        target.store(value, std::memory_order_relaxed);
        endValue = value;
    }

    // The value for the next frame: a ramp of n frames from A to B gives A, A + (B - A)/n, ... and then B.
    float nextValue() {
        if (samplesRemaining == 0) return endValue;
        const float value = float(samplesRemaining) * slope + endValue;
        --samplesRemaining;
        return value;
    }

    // Moves the ramp on by `samples` frames without producing values.
    void advance(std::uint32_t samples) {
        samplesRemaining = samples < samplesRemaining ? samplesRemaining - samples : 0;
    }
};

} // namespace rozezeru
