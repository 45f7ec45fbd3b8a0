#include "platform/audio/NewPitchUnit.h"

#include "platform/audio/AUParameterTree.h"
#include "platform/audio/ParameterEffectUnit.h"
#include "platform/audio/TimePitchUnit.h"

#include <cmath>

namespace platform {

AudioComponentDescription NewPitchUnit::componentDescription() {
    return appleEffectDescription("nutp");
}

NewPitchUnit::NewPitchUnit(const AudioComponentDescription& description)
    : AudioUnit(description, 1, 1, *AudioFormat::standard(44100.0, 2)),
      stretcher_(std::make_unique<TimePitchUnit>()) {
    auto pitch = AUParameterTree::createParameter("pitch", "Pitch", pitchAddress, TimePitchUnit::minimumPitch,
                                                  TimePitchUnit::maximumPitch, AudioUnitParameterUnit::cents,
                                                  AudioUnitParameterFlag::isReadable |
                                                      AudioUnitParameterFlag::isWritable |
                                                      AudioUnitParameterFlag::canRamp);
    auto tree = AUParameterTree::createTree({pitch});
    tree->setImplementorValueObserver(
        [this](const AUParameter&, AUValue value) { stretcher_->setPitch(value); });
    tree->setImplementorValueProvider([this](const AUParameter&) { return this->pitch(); });
    setParameterTree(std::move(tree));
}

NewPitchUnit::~NewPitchUnit() {
    deallocateRenderResources();
}

float NewPitchUnit::pitch() const {
    return stretcher_->pitch();
}

AUAudioFrameCount NewPitchUnit::maximumFramesToPull(std::uint32_t bus, AUAudioFrameCount outputFrames) const {
    return stretcher_->maximumFramesToPull(bus, outputFrames);
}

void NewPitchUnit::setShouldBypassEffect(bool bypass) {
    AudioUnit::setShouldBypassEffect(bypass);
    stretcher_->setShouldBypassEffect(bypass);
}

Result<void> NewPitchUnit::allocateInternalRenderResources() {
    stretcher_->deallocateRenderResources();
    if (auto set = stretcher_->inputBus(0).setFormat(inputBus(0).format()); !set) return set;
    if (auto set = stretcher_->outputBus(0).setFormat(outputBus(0).format()); !set) return set;
    if (auto set = stretcher_->setMaximumFramesToRender(maximumFramesToRender()); !set) return set;
    return stretcher_->allocateRenderResources();
}

void NewPitchUnit::deallocateInternalRenderResources() {
    stretcher_->deallocateRenderResources();
}

void NewPitchUnit::resetInternalRenderState() {
    stretcher_->reset();
}

RenderStatus NewPitchUnit::internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t,
                                          AudioBufferList& output, const AURenderEvent* events,
                                          const AudioUnitPullInput& input) {
    // The stretcher takes one pitch per cycle: a scheduled change or ramp goes to it for this cycle.
    for (; events; events = events->next)
        if (events->eventType != AURenderEventType::midi &&
            events->parameter.parameterAddress == pitchAddress && !std::isnan(events->parameter.value))
            stretcher_->scheduleParameterRamp(AUEventSampleTimeImmediate, 0, TimePitchUnit::pitchAddress,
                                              events->parameter.value);
    return stretcher_->render(timestamp, frames, 0, output, input);
}

} // namespace platform
