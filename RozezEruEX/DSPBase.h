#pragma once
// The base of every DSP kernel: one object per kernel-hosting audio unit. It pulls the input busses,
// splits each render cycle at the sample times of the cycle's render events, turns parameter changes into
// short linear ramps, bypasses, and dispatches MIDI note-on and note-off. A concrete kernel supplies
// process() and owns one ParameterRamper per parameter, stored in `parameters` at the parameter's address
// (addresses run from 0 without gaps).
//
// Threads. render() and everything it calls run on the render thread and take no lock, allocate nothing
// and log nothing. setParameter, getParameter and bypass: any thread. init, deinit, reset, setWavetable and
// the buffer set-up: the thread that configures the hosting unit, never while it renders. The node layer
// reaches a kernel only through the functions of DSPInterface.h.

#include "RozezEruEX/ParameterRamper.h"
#include "platform/audio/AURenderEvent.h"
#include "platform/audio/AudioBufferList.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace platform {
class AudioUnitPullInput;
}

namespace rozezeru {

using platform::AUAudioFrameCount;
using platform::AudioBufferList;
using platform::AUEventSampleTime;
using platform::AUMIDIEvent;
using platform::AUParameterAddress;
using platform::AUParameterEvent;
using platform::AURenderEvent;
using platform::AUValue;

// The frames one process() call renders: `count` frames from frame `start` of the cycle's buffers.
struct FrameRange {
    std::uint32_t start = 0;
    std::uint32_t count = 0;
};

class DSPBase {
public:
    static constexpr std::size_t maxParameterCount = 128;
    // Parameter changes ramp over 0.02 s; the factor is the float nearest 0.02, widened, so the ramp is
    // 881 frames at 44100 Hz (not 882) and 959 at 48000 Hz.
    static constexpr double rampDurationSeconds = double(0.02f);

    DSPBase(int inputBusCount, bool canProcessInPlace);
    virtual ~DSPBase();
    DSPBase(const DSPBase&) = delete;
    DSPBase& operator=(const DSPBase&) = delete;

    // Renders the frames of `range` into outputBufferList, reading inputBufferLists and the rampers.
    virtual void process(FrameRange range) = 0;
    // Unknown addresses (above 127 or without a ramper) are ignored. While initialized and not
    // `immediate`, the value becomes the target of a ramp that starts at the next render; otherwise the
    // parameter jumps to it at once.
    virtual void setParameter(AUParameterAddress address, AUValue value, bool immediate);
    // The value last asked for (not the ramp's current value); 0 for unknown addresses.
    virtual AUValue getParameter(AUParameterAddress address);
    virtual void reset() {}
    // The kernel copies what it keeps: `table` is valid only during the call.
    virtual void setWavetable(const float* table, std::size_t length, int index) {}
    // Overrides call the base first.
    virtual void init(int channelCount, double sampleRate);
    virtual void deinit();
    virtual void handleMIDIEvent(const AUMIDIEvent& midiEvent);
    virtual void startNote(int note, int velocity) {}
    virtual void stopNote(int note, int velocity) {}
    virtual void handleParameterEvent(const AUParameterEvent& parameterEvent);

    // The render entry of the hosting unit, once per cycle: pulls the inputs (into the output buffers when
    // the kernel processes one input in place, else into the buffers given with setBuffer; nothing without
    // `pullInput`) and renders `frames` frames at `timestamp`'s sample time applying `events`.
    platform::RenderStatus render(const platform::AudioTime& timestamp, AUAudioFrameCount frames,
                                  std::uint32_t outputBusNumber, AudioBufferList& output,
                                  const AURenderEvent* events, const platform::AudioUnitPullInput* pullInput);
    // Starts the ramps of parameters set since the last cycle and renders `frames` frames from sample time
    // `sampleTime`, split at the events' sample times. Events stamped before the cycle apply before its
    // first frame; events stamped at or beyond its end (a host never sends them) apply after its last.
    void processWithEvents(AUEventSampleTime sampleTime, AUAudioFrameCount frames,
                           const AURenderEvent* events);

    // trunc(sampleRate × 0.02f).
    std::uint32_t rampDurationSamples() const { return std::uint32_t(sampleRate * rampDurationSeconds); }

protected:
    // A ramp from the current value to the target when the parameter was set since the last ramp.
    void startRampIfChanged(ParameterRamper& ramper, std::uint32_t samples);
    // process(), or while bypassed: the ramps jump ahead and input bus 0 (silence for a generator)
    // becomes the output.
    void processOrBypass(AUAudioFrameCount frames, AUAudioFrameCount offset);
    void handleOneEvent(const AURenderEvent& event);
    // Copies output channel 0 into the others for the frames of `range` (mono generators).
    void cloneFirstChannel(FrameRange range);

    // One per input bus, the buffers the hosting unit made for it (the unit owns them).
    std::vector<AudioBufferList*> internalBufferLists;
    int channelCount = 2;
    double sampleRate = 44100.0;
    std::atomic<bool> isInitialized{false};
    // Sample time of the next frame to render in the current cycle.
    AUEventSampleTime now = 0;
    // Indexed by parameter address; the concrete kernel points them at its rampers.
    std::array<ParameterRamper*, maxParameterCount> parameters{};
    // The input of each bus for the current cycle. A subclass may resize it in its constructor (that
    // fixes its input bus count); it does not change afterwards.
    std::vector<AudioBufferList*> inputBufferLists;
    AudioBufferList* outputBufferList = nullptr;
    bool canProcessInPlace;
    std::atomic<bool> isStarted{true};

private:
    bool inputLiesInOutput() const { return canProcessInPlace && inputBufferLists.size() == 1; }

    friend int rzInputBusCount(const DSPBase* dsp);
    friend bool rzCanProcessInPlace(const DSPBase* dsp);
    friend void rzSetBuffer(DSPBase* dsp, AudioBufferList* buffer, std::size_t bus);
    friend void rzSetBypass(DSPBase* dsp, bool bypass);
    friend bool rzGetBypass(const DSPBase* dsp);
};

} // namespace rozezeru
