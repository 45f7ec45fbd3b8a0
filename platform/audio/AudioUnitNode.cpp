#include "platform/audio/AudioUnitNode.h"

#include "platform/audio/RenderContext.h"

namespace platform {

namespace {

// The graph's side of a unit's input pull: the inputs of the node being rendered.
class NodeUnitInput final : public AudioUnitPullInput {
public:
    explicit NodeUnitInput(RenderContext& context) : context_(context) {}
    RenderStatus pull(std::uint32_t bus, AUAudioFrameCount frames,
                      const AudioBufferList*& data) const override {
        return context_.pullInput(bus, frames, data);
    }
    RenderStatus pullInto(std::uint32_t bus, AUAudioFrameCount frames, AudioBufferList& into) const override {
        return context_.pullInputInto(bus, frames, into);
    }
    RenderStatus forward(std::uint32_t bus, AUAudioFrameCount frames,
                         AudioBufferList& output) const override {
        return context_.forwardInput(bus, frames, output);
    }

private:
    RenderContext& context_;
};

} // namespace

AudioUnitNode::AudioUnitNode(std::unique_ptr<AudioUnit> unit)
    : AudioNode(unit->inputBusCount(), unit->outputBusCount()), unit_(std::move(unit)) {
    for (std::uint32_t bus = 0; bus < unit_->inputBusCount(); ++bus)
        setDefaultInputFormat(bus, unit_->inputBus(bus).format());
    for (std::uint32_t bus = 0; bus < unit_->outputBusCount(); ++bus)
        setDefaultOutputFormat(bus, unit_->outputBus(bus).format());
    busListener_ =
        unit_->addPropertyListener([this](AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement) {
            if (id == AudioUnitProperty::elementCount) followUnitBusses();
        });
}

AudioUnitNode::~AudioUnitNode() {
    unit_->removePropertyListener(busListener_);
    unit_->deallocateRenderResources();
}

void AudioUnitNode::followUnitBusses() {
    const std::uint32_t inputs = numberOfInputs(), outputs = numberOfOutputs();
    setNumberOfInputs(unit_->inputBusCount());
    setNumberOfOutputs(unit_->outputBusCount());
    for (std::uint32_t bus = inputs; bus < unit_->inputBusCount(); ++bus)
        setDefaultInputFormat(bus, unit_->inputBus(bus).format());
    for (std::uint32_t bus = outputs; bus < unit_->outputBusCount(); ++bus)
        setDefaultOutputFormat(bus, unit_->outputBus(bus).format());
}

void AudioUnitNode::reset() {
    unit_->reset();
}

Result<void> AudioUnitNode::configureUnit(std::uint32_t maximumFrames) {
    AudioUnit& unit = *unit_;
    bool formatsChange = false;
    for (std::uint32_t bus = 0; bus < unit.inputBusCount(); ++bus)
        formatsChange |= inputFormat(bus) != unit.inputBus(bus).format();
    for (std::uint32_t bus = 0; bus < unit.outputBusCount(); ++bus)
        formatsChange |= outputFormat(bus) != unit.outputBus(bus).format();
    const bool framesGrow = maximumFrames > unit.maximumFramesToRender();
    if (unit.renderResourcesAllocated() && !formatsChange && !framesGrow) return Result<void>();

    unit.deallocateRenderResources();
    for (std::uint32_t bus = 0; bus < unit.inputBusCount(); ++bus)
        if (inputFormat(bus) != unit.inputBus(bus).format())
            if (auto set = unit.inputBus(bus).setFormat(inputFormat(bus)); !set) return set;
    for (std::uint32_t bus = 0; bus < unit.outputBusCount(); ++bus)
        if (outputFormat(bus) != unit.outputBus(bus).format())
            if (auto set = unit.outputBus(bus).setFormat(outputFormat(bus)); !set) return set;
    if (framesGrow)
        if (auto set = unit.setMaximumFramesToRender(maximumFrames); !set) return set;
    return unit.allocateRenderResources();
}

std::shared_ptr<NodeRenderState> AudioUnitNode::makeRenderState(std::uint32_t maximumFrames,
                                                                const std::shared_ptr<NodeRenderState>&) {
    // The unit keeps its render state itself; the plan only has to find it configured.
    if (auto configured = configureUnit(maximumFrames); !configured)
        configurationError_ = configured.error();
    else
        configurationError_.reset();
    return nullptr;
}

std::uint32_t AudioUnitNode::maximumFramesToPull(std::uint32_t bus, std::uint32_t outputFrames) const {
    return unit_->maximumFramesToPull(bus, outputFrames);
}

RenderStatus AudioUnitNode::render(RenderContext& context, std::uint32_t frames, AudioBufferList& out,
                                   const AudioTime& when, std::uint32_t bus) {
    const NodeUnitInput input(context);
    return unit_->render(when, frames, bus, out, input);
}

} // namespace platform
