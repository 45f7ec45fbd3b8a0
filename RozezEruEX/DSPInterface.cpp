#include "RozezEruEX/DSPInterface.h"

#include <cstring>

namespace rozezeru {

platform::RenderStatus
AUInternalRenderBlock::operator()(const platform::AudioTime& timestamp, AUAudioFrameCount frames,
                                  std::uint32_t outputBusNumber, AudioBufferList& output,
                                  const AURenderEvent* events,
                                  const platform::AudioUnitPullInput* pullInput) const {
    if (!dsp_) {
        for (std::uint32_t buffer = 0; buffer < output.numberBuffers; ++buffer)
            if (output.buffers[buffer].data)
                std::memset(output.buffers[buffer].data, 0, std::size_t(frames) * sizeof(float));
        return platform::RenderStatus::error;
    }
    return dsp_->render(timestamp, frames, outputBusNumber, output, events, pullInput);
}

AUInternalRenderBlock internalRenderBlock(DSPBase* dsp) {
    return AUInternalRenderBlock(dsp);
}

int rzInputBusCount(const DSPBase* dsp) {
    return dsp ? int(dsp->inputBufferLists.size()) : 0;
}

bool rzCanProcessInPlace(const DSPBase* dsp) {
    return dsp && dsp->canProcessInPlace;
}

void rzSetBuffer(DSPBase* dsp, AudioBufferList* buffer, std::size_t bus) {
    if (!dsp) return;
    if (dsp->internalBufferLists.size() <= bus) dsp->internalBufferLists.resize(bus + 1, nullptr);
    dsp->internalBufferLists[bus] = buffer;
}

void rzAllocateRenderResources(DSPBase* dsp, int channelCount, double sampleRate) {
    if (dsp) dsp->init(channelCount, sampleRate);
}

void rzDeallocateRenderResources(DSPBase* dsp) {
    if (dsp) dsp->deinit();
}

void rzResetDSP(DSPBase* dsp) {
    if (dsp) dsp->reset();
}

void rzSetParameterValue(DSPBase* dsp, AUParameterAddress address, AUValue value) {
    if (dsp) dsp->setParameter(address, value, false);
}

AUValue rzGetParameterValue(DSPBase* dsp, AUParameterAddress address) {
    return dsp ? dsp->getParameter(address) : 0.0f;
}

void rzSetBypass(DSPBase* dsp, bool bypass) {
    if (dsp) dsp->isStarted.exchange(!bypass);
}

bool rzGetBypass(const DSPBase* dsp) {
    return dsp && !dsp->isStarted.load();
}

void rzSetWavetable(DSPBase* dsp, const float* table, std::size_t length, int index) {
    if (dsp) dsp->setWavetable(table, length, index);
}

void rzDeleteDSP(std::unique_ptr<DSPBase> dsp) {
    dsp.reset();
}

} // namespace rozezeru
