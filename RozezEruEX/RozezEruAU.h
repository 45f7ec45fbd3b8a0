#pragma once
// The audio unit that hosts one DSP kernel: it creates the kernel registered under the four-character
// subtype of its component description, gives the engine the kernel's busses (two channels at 44100 Hz
// until the engine sets other formats), bypass, in-place processing and render entry, and wires its
// parameter tree to the kernel: setting a parameter ramps the kernel's parameter at that address, reading
// it answers the kernel's target value.
//
// Threads: as platform::AudioUnit. Construction, allocation, reset, wavetables and the parameter tree:
// the configuring (main) thread. Parameters, bypass and triggers: any thread but the render thread.

#include "RozezEruEX/DSPBase.h"
#include "RozezEruEX/DSPInterface.h"
#include "platform/audio/AudioUnit.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace rozezeru {

class RozezEruAU : public platform::AudioUnit {
    struct PrivateKey {};

public:
    // The name and version under which registerComponent registers the class.
    static constexpr std::string_view componentName = "Local internal AU";
    static constexpr std::uint32_t componentVersion = 0xFFFFFFFF;

    // A unit hosting a new kernel of the class registered under the description's subtype; an error when
    // the registry has none (it prints "Unknown DSPBase subclass: ..." too).
    static platform::Result<std::unique_ptr<RozezEruAU>>
    make(const platform::AudioComponentDescription& description);
    // Registers the class for `description` with the shared component registry, so that instantiating
    // the description makes a RozezEruAU (in an AudioUnitNode). Registering again replaces the entry.
    static void registerComponent(const platform::AudioComponentDescription& description);

    RozezEruAU(PrivateKey, const platform::AudioComponentDescription& description,
               std::unique_ptr<DSPBase> dsp);
    ~RozezEruAU() override;

    // The hosted kernel, for node code that talks to it directly. Never null.
    DSPBase* dsp() const { return dsp_.get(); }

    // The input buffers the unit made for the kernel; only while render resources are allocated, and
    // only for kernels that do not process their one input in place.
    const std::vector<std::unique_ptr<platform::PcmBuffer>>& internalBuffers() const {
        return internalBuffers_;
    }

    // Input and output channel counts offered to the engine: two to two unless set otherwise.
    int supportedLeftChannelCount() const { return supportedLeftChannelCount_; }
    int supportedRightChannelCount() const { return supportedRightChannelCount_; }
    void setSupportedLeftChannelCount(int channels) { supportedLeftChannelCount_ = channels; }
    void setSupportedRightChannelCount(int channels) { supportedRightChannelCount_ = channels; }

    std::vector<int> channelCapabilities() const override;
    bool canProcessInPlace() const override;
    bool shouldBypassEffect() const override;
    void setShouldBypassEffect(bool bypass) override;
    // Installs on the tree the hooks that forward values to the kernel and format them as "%.2f" (or
    // "Invalid" without a value).
    void setParameterTree(std::shared_ptr<platform::AUParameterTree> tree) override;

    // Schedules a note-on (channel 0) for immediate rendering on cable 0. A unit that takes no MIDI
    // (mixers, generators) makes this a programming error that stops the program.
    virtual void trigger(std::uint8_t note, std::uint8_t velocity);
    // Note 64, velocity 127.
    virtual void trigger();
    // Note 64, velocity 0: the kernel takes it as a note-off.
    virtual void stopTrigger();
    // Hands the kernel a wavetable; the kernel copies what it keeps.
    virtual void setWavetable(std::span<const float> table, int index);
    virtual void setWavetable(const float* data, std::size_t size, int index);

protected:
    platform::Result<void> allocateInternalRenderResources() override;
    void deallocateInternalRenderResources() override;
    void resetInternalRenderState() override;
    bool rendersBypassItself() const override { return true; }
    platform::RenderStatus internalRender(const platform::AudioTime& timestamp, AUAudioFrameCount frames,
                                          std::uint32_t outputBus, AudioBufferList& output,
                                          const AURenderEvent* events,
                                          const platform::AudioUnitPullInput& input) override;

private:
    void releaseInternalBuffers();

    int supportedLeftChannelCount_ = 2;
    int supportedRightChannelCount_ = 2;
    std::vector<std::unique_ptr<platform::PcmBuffer>> internalBuffers_;
    std::vector<std::unique_ptr<AudioBufferList>> internalBufferLists_;
    // Shared only so that the parameter tree's hooks can refer to the kernel without owning it.
    std::shared_ptr<DSPBase> dsp_;
    AUInternalRenderBlock renderBlock_;
};

} // namespace rozezeru
