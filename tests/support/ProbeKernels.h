#pragma once
// Kernels for the tests of the kernel bridge (RozezEruEX) and of the nodes over it. A probe adds the frame
// values of its two parameters to its input (channel 0 gets parameter 0, channel 1 parameter 1) and records,
// in fixed arrays so that rendering allocates nothing, the ranges it processed, the MIDI events and the notes
// it was given.
// Registered under test codes once per test program. Test thread and the render thread of the test's engine.

#include "RozezEruEX/DSPBase.h"
#include "RozezEruEX/DSPRegistry.h"

#include <array>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

using platform::AudioBufferList;
using platform::AUEventSampleTime;
using rozezeru::DSPBase;
using rozezeru::FrameRange;
using rozezeru::ParameterRamper;
using rozezeru::registerDSP;

// What a kernel ramp of `frames` frames from `from` to `to` plays at its k-th frame.
inline float kernelRampValue(float from, float to, std::uint32_t frames, std::uint32_t k) {
    const float slope = (from - to) / float(frames);
    return k < frames ? float(frames - k) * slope + to : to;
}

// The first `total` values of such a ramp.
inline std::vector<float> kernelRamp(float from, float to, std::uint32_t frames, std::uint32_t total) {
    std::vector<float> values(total);
    for (std::uint32_t k = 0; k < total; ++k)
        values[k] = kernelRampValue(from, to, frames, k);
    return values;
}

struct NoteRecord {
    bool on = false;
    int note = 0;
    int velocity = 0;
};

class ProbeDSP : public DSPBase {
public:
    static constexpr std::size_t capacity = 64;

    ProbeDSP(int inputs, bool inPlace) : DSPBase(inputs, inPlace) {
        parameters[0] = &first;
        parameters[1] = &second;
    }

    void process(FrameRange range) override {
        if (rangeCount < capacity) ranges[rangeCount++] = range;
        const AudioBufferList* input = inputBufferLists.empty() ? nullptr : inputBufferLists[0];
        AudioBufferList& output = *outputBufferList;
        for (std::uint32_t frame = range.start; frame < range.start + range.count; ++frame) {
            const float values[2] = {first.nextValue(), second.nextValue()};
            for (std::uint32_t channel = 0; channel < output.numberBuffers && channel < 2; ++channel) {
                const float in =
                    input && channel < input->numberBuffers ? input->floatData(channel)[frame] : 0.0f;
                output.floatData(channel)[frame] = in + values[channel];
            }
        }
    }
    void handleMIDIEvent(const platform::AUMIDIEvent& event) override {
        if (midiCount < capacity) {
            midi[midiCount] = event;
            midiTimes[midiCount++] = now;
        }
        DSPBase::handleMIDIEvent(event);
    }
    void startNote(int note, int velocity) override { record(true, note, velocity); }
    void stopNote(int note, int velocity) override { record(false, note, velocity); }
    void reset() override { ++resets; }
    void init(int channels, double rate) override {
        DSPBase::init(channels, rate);
        ++inits;
    }
    void deinit() override {
        DSPBase::deinit();
        ++deinits;
    }
    void setWavetable(const float* table, std::size_t length, int index) override {
        wavetable.assign(table, table + length);
        wavetableIndex = index;
    }

    // "start+count " per processed range, and "on|off note velocity " per note, in order.
    std::string rangeText() const {
        std::string text;
        for (std::size_t i = 0; i < rangeCount; ++i)
            text += std::to_string(ranges[i].start) + "+" + std::to_string(ranges[i].count) + " ";
        return text;
    }
    // "status data1 data2 @sampleTime " in hexadecimal status, per MIDI event of three bytes on cable 0.
    std::string midiText() const {
        std::string text;
        for (std::size_t i = 0; i < midiCount; ++i) {
            const auto& m = midi[i];
            if (m.length != 3 || m.cable != 0) {
                text += "? ";
                continue;
            }
            static const char digits[] = "0123456789abcdef";
            text += std::string{digits[m.data[0] >> 4], digits[m.data[0] & 15]} + " " +
                    std::to_string(m.data[1]) + " " + std::to_string(m.data[2]) + " @" +
                    std::to_string(midiTimes[i]) + " ";
        }
        return text;
    }
    std::string noteText() const {
        std::string text;
        for (std::size_t i = 0; i < noteCount; ++i)
            text += (notes[i].on ? "on " : "off ") + std::to_string(notes[i].note) + " " +
                    std::to_string(notes[i].velocity) + " ";
        return text;
    }

    // Views of the base's state for the tests.
    AUEventSampleTime currentSampleTime() const { return now; }
    bool initialized() const { return isInitialized; }
    int channels() const { return channelCount; }
    double rate() const { return sampleRate; }
    const AudioBufferList* input(std::size_t bus) const { return inputBufferLists[bus]; }
    std::size_t internalBufferCount() const { return internalBufferLists.size(); }
    const AudioBufferList* internalBuffer(std::size_t bus) const { return internalBufferLists[bus]; }
    const ParameterRamper& ramper(std::size_t address) const { return *parameters[address]; }
    void cloneFirst(FrameRange range) { cloneFirstChannel(range); }
    void setOutput(AudioBufferList* output) { outputBufferList = output; }

    ParameterRamper first;
    ParameterRamper second;
    std::array<FrameRange, capacity> ranges{};
    std::size_t rangeCount = 0;
    std::array<platform::AUMIDIEvent, capacity> midi{};
    std::array<AUEventSampleTime, capacity> midiTimes{};
    std::size_t midiCount = 0;
    std::array<NoteRecord, capacity> notes{};
    std::size_t noteCount = 0;
    int resets = 0, inits = 0, deinits = 0;
    std::vector<float> wavetable;
    int wavetableIndex = -1;

private:
    void record(bool on, int note, int velocity) {
        if (noteCount < capacity) notes[noteCount++] = {on, note, velocity};
    }
};

// One input, pulled into buffers of its own.
struct ProbeEffect final : ProbeDSP {
    ProbeEffect() : ProbeDSP(1, false) {}
};
// One input, pulled into the output.
struct ProbeInPlace final : ProbeDSP {
    ProbeInPlace() : ProbeDSP(1, true) {}
};
// No input.
struct ProbeGenerator final : ProbeDSP {
    ProbeGenerator() : ProbeDSP(0, false) {}
};
// Two inputs, grown in the constructor as a mixer of two signals does.
struct ProbeTwoInputs final : ProbeDSP {
    ProbeTwoInputs() : ProbeDSP(1, false) { inputBufferLists.resize(2, nullptr); }
};
// Two inputs that claim to process in place: input bus 0 cannot lie in the output then.
struct ProbeTwoInputsInPlace final : ProbeDSP {
    ProbeTwoInputsInPlace() : ProbeDSP(2, true) {}
};

inline void registerProbeKernels() {
    static std::once_flag once;
    std::call_once(once, [] {
        registerDSP<ProbeEffect>("tsfx", {"ProbeEffectParameterFirst", "ProbeEffectParameterSecond"});
        registerDSP<ProbeInPlace>("tsip", {"ProbeInPlaceParameterFirst", "ProbeInPlaceParameterSecond"});
        registerDSP<ProbeGenerator>("tsgn",
                                    {"ProbeGeneratorParameterFirst", "ProbeGeneratorParameterSecond"});
        registerDSP<ProbeTwoInputs>("tsdw", {});
        registerDSP<ProbeTwoInputsInPlace>("ts2p", {});
    });
}

} // namespace testsupport
