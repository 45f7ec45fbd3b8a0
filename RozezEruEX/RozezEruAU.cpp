#include "RozezEruEX/RozezEruAU.h"

#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ProgrammingError.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioComponentRegistry.h"

#include <array>
#include <charconv>
#include <string>

namespace rozezeru {

namespace {

constexpr double hostedUnitSampleRate = 44100.0;
constexpr std::uint32_t hostedUnitChannels = 2;
constexpr std::uint8_t triggerNote = 64;
constexpr std::uint8_t triggerVelocity = 127;

std::string hostedUnitCodeText(std::uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8)
        text += char((code >> shift) & 0xFF);
    return text;
}

// "%.2f" whatever the process's locale.
std::string hostedUnitValueText(const AUValue* value) {
    if (!value) return "Invalid";
    std::array<char, 64> text{};
    const auto written =
        std::to_chars(text.data(), text.data() + text.size(), double(*value), std::chars_format::fixed, 2);
    return std::string(text.data(), written.ptr);
}

} // namespace

platform::Result<std::unique_ptr<RozezEruAU>>
RozezEruAU::make(const platform::AudioComponentDescription& description) {
    std::unique_ptr<DSPBase> dsp = rzCreateDSPByCode(description.componentSubType);
    if (!dsp)
        return platform::Error::make("RozezEruAU", "No DSP kernel is registered under '" +
                                                       hostedUnitCodeText(description.componentSubType) +
                                                       "'");
    return std::make_unique<RozezEruAU>(PrivateKey{}, description, std::move(dsp));
}

void RozezEruAU::registerComponent(const platform::AudioComponentDescription& description) {
    platform::AudioComponentRegistry::shared().registerComponent(
        description, std::string(componentName), componentVersion,
        [](const platform::AudioComponentDescription& own) -> std::unique_ptr<platform::AudioUnit> {
            auto made = make(own);
            if (!made) return nullptr;
            return std::move(*made);
        });
}

RozezEruAU::RozezEruAU(PrivateKey, const platform::AudioComponentDescription& description,
                       std::unique_ptr<DSPBase> dsp)
    : AudioUnit(description, std::uint32_t(rzInputBusCount(dsp.get())), 1,
                *platform::AudioFormat::standard(hostedUnitSampleRate, hostedUnitChannels)),
      dsp_(std::move(dsp)), renderBlock_(internalRenderBlock(dsp_.get())) {
    setParameterTree(platform::AUParameterTree::createTree({}));
}

RozezEruAU::~RozezEruAU() {
    // The render thread must be out of the kernel before it goes.
    deallocateRenderResources();
}

std::vector<int> RozezEruAU::channelCapabilities() const {
    return {supportedLeftChannelCount_, supportedRightChannelCount_};
}

bool RozezEruAU::canProcessInPlace() const {
    return rzCanProcessInPlace(dsp_.get());
}

bool RozezEruAU::shouldBypassEffect() const {
    return rzGetBypass(dsp_.get());
}

void RozezEruAU::setShouldBypassEffect(bool bypass) {
    rzSetBypass(dsp_.get(), bypass);
}

void RozezEruAU::setParameterTree(std::shared_ptr<platform::AUParameterTree> tree) {
    if (tree) {
        const std::weak_ptr<DSPBase> kernel = dsp_;
        tree->setImplementorValueObserver([kernel](const platform::AUParameter& parameter, AUValue value) {
            if (auto dsp = kernel.lock()) rzSetParameterValue(dsp.get(), parameter.address(), value);
        });
        tree->setImplementorValueProvider([kernel](const platform::AUParameter& parameter) {
            auto dsp = kernel.lock();
            return dsp ? rzGetParameterValue(dsp.get(), parameter.address()) : 0.0f;
        });
        tree->setImplementorStringFromValueCallback(
            [](const platform::AUParameter&, const AUValue* value) { return hostedUnitValueText(value); });
    }
    AudioUnit::setParameterTree(std::move(tree));
}

void RozezEruAU::trigger(std::uint8_t note, std::uint8_t velocity) {
    if (!acceptsMIDIEvents())
        stopOnProgrammingError("Attempt to trigger audio unit which doesn't respond to MIDI.");
    const std::array<std::uint8_t, 3> noteOn{0x90, note, velocity};
    scheduleMIDIEvent(platform::AUEventSampleTimeImmediate, 0, noteOn);
}

void RozezEruAU::trigger() {
    trigger(triggerNote, triggerVelocity);
}

void RozezEruAU::stopTrigger() {
    trigger(triggerNote, 0);
}

void RozezEruAU::setWavetable(std::span<const float> table, int index) {
    rzSetWavetable(dsp_.get(), table.data(), table.size(), index);
}

void RozezEruAU::setWavetable(const float* data, std::size_t size, int index) {
    rzSetWavetable(dsp_.get(), data, size, index);
}

platform::Result<void> RozezEruAU::allocateInternalRenderResources() {
    DSPBase* kernel = dsp_.get();
    const std::uint32_t inputs = inputBusCount();
    // One input processed in place needs no buffers of its own: it is pulled into the output.
    if (inputs > 0 && !(rzCanProcessInPlace(kernel) && inputs < 2)) {
        const platform::AudioFormat format = inputBus(0).format();
        const AUAudioFrameCount capacity = maximumFramesToRender();
        for (std::uint32_t bus = 0; bus < inputs; ++bus) {
            auto buffer = platform::PcmBuffer::make(format, capacity);
            if (!buffer) {
                releaseInternalBuffers();
                return platform::Error::make("RozezEruAU",
                                             "Could not make the buffer of input bus " + std::to_string(bus));
            }
            internalBufferLists_.push_back(std::make_unique<AudioBufferList>(buffer->bufferList(capacity)));
            internalBuffers_.push_back(std::move(buffer));
            rzSetBuffer(kernel, internalBufferLists_.back().get(), bus);
        }
    }
    const platform::AudioFormat& output = outputBus(0).format();
    rzAllocateRenderResources(kernel, int(output.channelCount()), output.sampleRate());
    return platform::Result<void>();
}

void RozezEruAU::deallocateInternalRenderResources() {
    rzDeallocateRenderResources(dsp_.get());
    releaseInternalBuffers();
}

void RozezEruAU::releaseInternalBuffers() {
    for (std::size_t bus = 0; bus < internalBufferLists_.size(); ++bus)
        rzSetBuffer(dsp_.get(), nullptr, bus);
    internalBufferLists_.clear();
    internalBuffers_.clear();
}

void RozezEruAU::resetInternalRenderState() {
    rzResetDSP(dsp_.get());
}

platform::RenderStatus RozezEruAU::internalRender(const platform::AudioTime& timestamp,
                                                  AUAudioFrameCount frames, std::uint32_t outputBus,
                                                  AudioBufferList& output, const AURenderEvent* events,
                                                  const platform::AudioUnitPullInput& input) {
    return renderBlock_(timestamp, frames, outputBus, output, events, &input);
}

} // namespace rozezeru
