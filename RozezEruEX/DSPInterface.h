#pragma once
// The plain functions through which a hosting unit drives its kernel, each taking the kernel first. A null
// kernel is ignored (getters answer 0, false or an empty block). Parameter and bypass functions: any
// thread. Buffers, allocation, reset and wavetables: the configuring thread, never while the kernel
// renders. The render block: the render thread.

#include "RozezEruEX/DSPBase.h"

#include <cstddef>
#include <memory>

namespace rozezeru {

// A kernel's render entry as a hosting unit calls it once per cycle (see DSPBase::render). It refers to
// the kernel without owning it and is valid while the kernel lives. An empty block renders silence and
// reports an error.
class AUInternalRenderBlock {
public:
    AUInternalRenderBlock() = default;
    explicit AUInternalRenderBlock(DSPBase* dsp) : dsp_(dsp) {}
    explicit operator bool() const { return dsp_ != nullptr; }

    platform::RenderStatus operator()(const platform::AudioTime& timestamp, AUAudioFrameCount frames,
                                      std::uint32_t outputBusNumber, AudioBufferList& output,
                                      const AURenderEvent* events,
                                      const platform::AudioUnitPullInput* pullInput) const;

private:
    DSPBase* dsp_ = nullptr;
};

AUInternalRenderBlock internalRenderBlock(DSPBase* dsp);
int rzInputBusCount(const DSPBase* dsp);
bool rzCanProcessInPlace(const DSPBase* dsp);
// Hands the kernel the input buffers of `bus` (owned by the caller; null withdraws them).
void rzSetBuffer(DSPBase* dsp, AudioBufferList* buffer, std::size_t bus);
void rzAllocateRenderResources(DSPBase* dsp, int channelCount, double sampleRate);
void rzDeallocateRenderResources(DSPBase* dsp);
void rzResetDSP(DSPBase* dsp);
// A deferred set: the kernel ramps to the value from its next render on (at once when not initialized).
void rzSetParameterValue(DSPBase* dsp, AUParameterAddress address, AUValue value);
AUValue rzGetParameterValue(DSPBase* dsp, AUParameterAddress address);
void rzSetBypass(DSPBase* dsp, bool bypass);
bool rzGetBypass(const DSPBase* dsp);
void rzSetWavetable(DSPBase* dsp, const float* table, std::size_t length, int index);
// Destroys the kernel (null is ignored).
void rzDeleteDSP(std::unique_ptr<DSPBase> dsp);

} // namespace rozezeru
