#pragma once
// The base of the kernels whose signal processing is done by sp_ modules: DSPBase plus the kernel's own
// module context, made by init and freed by deinit, and a trigger value that a note-on sets for the
// kernels that are struck or gated. Threads as DSPBase: init, deinit and reset on the configuring thread,
// process on the render thread.

#include "RozezEruEX/DSPBase.h"
#include "Sigpro/modules/sp_data.h"

namespace sigpro {

using rozezeru::AUAudioFrameCount;
using rozezeru::AUMIDIEvent;
using rozezeru::FrameRange;
using rozezeru::ParameterRamper;

class SigproDSPBase : public rozezeru::DSPBase {
public:
    SigproDSPBase(int inputBusCount, bool canProcessInPlace);
    ~SigproDSPBase() override;

    // Makes the module context at the kernel's sample rate (truncated to whole hertz) and channel count;
    // a context left from an earlier init is freed first. Overrides call this first.
    void init(int channelCount, double sampleRate) override;
    // Frees the module context. Overrides free their modules too.
    void deinit() override;
    // A note-on on any channel, whatever its velocity, sets the trigger value to 1; nothing else is
    // looked at, and notes never reach startNote or stopNote.
    void handleMIDIEvent(const AUMIDIEvent& midiEvent) override;

    // The per-sample hook of the family: copies the input sample. No render path calls it.
    virtual void processSample(int channel, AUAudioFrameCount frame, const float* in, float* out) {
        *out = *in;
    }

protected:
    // Null outside init ... deinit.
    sp_data* sp = nullptr;
    // Read only by the kernels that are struck or gated; only they clear it.
    float triggerValue = 0.0f;
};

} // namespace sigpro
