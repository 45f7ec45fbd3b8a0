#pragma once
// The platform's reverb (in place of AVAudioUnitReverb, component 'aufx' 'rvb2' 'appl'), over the DSP
// library's feedback-delay-network reverb (sp_zitarev). The wet/dry mix (percent, parameter 0) glides
// between the input and the reverberation; the room is one of the factory presets, each a pre-delay, a
// crossover, the decay times (RT60) below and above it and a damping frequency, which take effect from
// the next render cycle. A new unit holds the Medium Hall. One channel (the reverberation's left side)
// or two.
//
// Threads: as ParameterEffectUnit; loading a preset: any thread but the render thread.

#include "platform/audio/ParameterEffectUnit.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace platform {

// The factory presets by raw value (AVAudioUnitReverbPreset); any other raw value names none.
enum class ReverbPreset : std::int32_t {
    smallRoom = 0,
    mediumRoom = 1,
    largeRoom = 2,
    mediumHall = 3,
    largeHall = 4,
    plate = 5,
    mediumChamber = 6,
    largeChamber = 7,
    cathedral = 8,
    largeRoom2 = 9,
    mediumHall2 = 10,
    mediumHall3 = 11,
    largeHall2 = 12,
};
inline constexpr std::int32_t reverbPresetCount = 13;

class ReverbUnit final : public ParameterEffectUnit {
public:
    static constexpr AUParameterAddress wetDryMixAddress = 0;

    // 'aufx' 'rvb2' 'appl'.
    static AudioComponentDescription componentDescription();

    explicit ReverbUnit(const AudioComponentDescription& description = componentDescription());
    ~ReverbUnit() override;

    // False (and nothing changes) for a raw value that names no preset.
    bool loadFactoryPreset(ReverbPreset preset);
    ReverbPreset preset() const { return ReverbPreset(preset_.load(std::memory_order_relaxed)); }
    // Percent.
    float wetDryMix() const { return parameterValue(wetDryMixAddress); }
    void setWetDryMix(float percent);

    std::vector<int> channelCapabilities() const override { return {1, 1, 2, 2}; }

protected:
    Result<void> prepareRender(std::uint32_t channels, double sampleRate) override;
    void releaseRender() override;
    void clearRender() override;
    void processSlice(AudioBufferList& io, AUAudioFrameCount offset, AUAudioFrameCount frames) override;

private:
    struct State;
    std::atomic<std::int32_t> preset_{std::int32_t(ReverbPreset::mediumHall)};
    std::unique_ptr<State> state_;
};

} // namespace platform
