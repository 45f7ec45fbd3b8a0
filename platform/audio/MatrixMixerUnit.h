#pragma once
// The platform's matrix mixer (in place of its 'aumx' 'mxmx' 'appl' unit): every input channel can
// reach every output channel with a gain of its own. Its input busses' channels are numbered in bus
// order as one list, as are its output channels; output channel o renders
//     master · output volume o · Σ over input channels i of input volume i · crosspoint(i, o) · input i.
// Every volume is parameter 0, told apart by scope and element (see the element constants); all start
// at 0 but the master volume, which starts at 1, so a new unit is silent until it is opened up. Values
// apply from the next render cycle, without ramps.
//
// The channel counts follow the busses' formats, which its engine node brings to those of its
// connections when the engine builds a render plan. The input element count (the number of input
// busses) may be set from 0 to maximumChannels while deallocated; there is one output bus.
//
// Threads: as AudioUnit. Volumes are atomics: any thread may set them while the unit renders.

#include "platform/audio/AudioUnit.h"

#include <atomic>
#include <memory>

namespace platform {

class MatrixMixerUnit final : public AudioUnit {
public:
    static constexpr AudioUnitParameterID volumeParameter = 0;
    // Elements of the volume parameter: the master volume in the global scope; input channel k in the
    // input scope and output channel k in the output scope as element k; crosspoints in the global scope.
    static constexpr AudioUnitElement masterElement = 0xFFFFFFFF;
    static constexpr AudioUnitElement crosspointElement(std::uint32_t inputChannel,
                                                        std::uint32_t outputChannel) {
        return inputChannel << 16 | (outputChannel & 0xFFFF);
    }
    // The most channels on each side; volumes of channels beyond it are refused (invalid element).
    static constexpr std::uint32_t maximumChannels = 64;

    // 'aumx' 'mxmx' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit MatrixMixerUnit(const AudioComponentDescription& description = componentDescription());
    ~MatrixMixerUnit() override;

    // The channels of all input busses, and of the output bus, by their current formats.
    std::uint32_t inputChannelCount() const;
    std::uint32_t outputChannelCount() const;

protected:
    Result<AUValue> getScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                       AudioUnitElement element) const override;
    Result<void> setScopedParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                    AUValue value) override;
    // The matrix levels: (inputs + 1) rows of (outputs + 1) floats. Row k < inputs holds the crosspoints
    // of input channel k, then its input volume; the last row the output volumes, then the master.
    Result<std::size_t> getUnitProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                        AudioUnitElement element, std::span<std::byte> data) const override;
    bool acceptsElementCount(AudioUnitScope scope, std::uint32_t count) const override;
    Result<void> allocateInternalRenderResources() override;
    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) override;

private:
    std::atomic<float>* volume(AudioUnitScope scope, AudioUnitElement element) const;

    std::unique_ptr<std::atomic<float>[]> crosspoints_; // maximumChannels² row by input channel
    std::unique_ptr<std::atomic<float>[]> inputVolumes_;
    std::unique_ptr<std::atomic<float>[]> outputVolumes_;
    mutable std::atomic<float> master_{1.0f};
};

} // namespace platform
