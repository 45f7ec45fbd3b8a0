#include "platform/audio/MatrixMixerUnit.h"

#include <cstring>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t matrixFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

Error matrixError(int status, std::string message) {
    return Error::make("AudioUnit", std::move(message), status);
}

std::unique_ptr<std::atomic<float>[]> matrixVolumes(std::size_t count) {
    std::unique_ptr<std::atomic<float>[]> volumes(new std::atomic<float>[count]);
    for (std::size_t i = 0; i < count; ++i)
        volumes[i].store(0.0f, std::memory_order_relaxed);
    return volumes;
}

} // namespace

AudioComponentDescription MatrixMixerUnit::componentDescription() {
    return {matrixFourCC("aumx"), matrixFourCC("mxmx"), matrixFourCC("appl"), 0, 0};
}

MatrixMixerUnit::MatrixMixerUnit(const AudioComponentDescription& description)
    : AudioUnit(description, 1, 1, *AudioFormat::standard(44100.0, 2)),
      crosspoints_(matrixVolumes(std::size_t(maximumChannels) * maximumChannels)),
      inputVolumes_(matrixVolumes(maximumChannels)), outputVolumes_(matrixVolumes(maximumChannels)) {}

MatrixMixerUnit::~MatrixMixerUnit() {
    deallocateRenderResources();
}

std::uint32_t MatrixMixerUnit::inputChannelCount() const {
    std::uint32_t channels = 0;
    for (std::uint32_t bus = 0; bus < inputBusCount(); ++bus)
        channels += inputBus(bus).format().channelCount();
    return channels;
}

std::uint32_t MatrixMixerUnit::outputChannelCount() const {
    return outputBus(0).format().channelCount();
}

std::atomic<float>* MatrixMixerUnit::volume(AudioUnitScope scope, AudioUnitElement element) const {
    switch (scope) {
    case AudioUnitScope::global: {
        if (element == masterElement) return &master_;
        const std::uint32_t in = element >> 16, out = element & 0xFFFF;
        return in < maximumChannels && out < maximumChannels ? &crosspoints_[in * maximumChannels + out]
                                                             : nullptr;
    }
    case AudioUnitScope::input:
        return element < maximumChannels ? &inputVolumes_[element] : nullptr;
    case AudioUnitScope::output:
        return element < maximumChannels ? &outputVolumes_[element] : nullptr;
    }
    return nullptr;
}

Result<AUValue> MatrixMixerUnit::getScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                                    AudioUnitElement element) const {
    if (id != volumeParameter)
        return matrixError(AudioUnitErr::invalidParameter, "The matrix mixer has only volumes");
    const auto* value = volume(scope, element);
    if (!value) return matrixError(AudioUnitErr::invalidElement, "No such channel of the matrix mixer");
    return value->load(std::memory_order_relaxed);
}

Result<void> MatrixMixerUnit::setScopedParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                                 AudioUnitElement element, AUValue value) {
    if (id != volumeParameter)
        return matrixError(AudioUnitErr::invalidParameter, "The matrix mixer has only volumes");
    auto* target = volume(scope, element);
    if (!target) return matrixError(AudioUnitErr::invalidElement, "No such channel of the matrix mixer");
    target->store(value, std::memory_order_relaxed);
    return Result<void>();
}

Result<std::size_t> MatrixMixerUnit::getUnitProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                                     AudioUnitElement element,
                                                     std::span<std::byte> data) const {
    if (id != AudioUnitProperty::matrixLevels) return AudioUnit::getUnitProperty(id, scope, element, data);
    const std::uint32_t inputs = std::min(inputChannelCount(), maximumChannels);
    const std::uint32_t outputs = std::min(outputChannelCount(), maximumChannels);
    const std::size_t columns = outputs + 1;
    std::vector<float> levels((inputs + 1) * columns);
    for (std::uint32_t in = 0; in < inputs; ++in) {
        for (std::uint32_t out = 0; out < outputs; ++out)
            levels[in * columns + out] =
                crosspoints_[in * maximumChannels + out].load(std::memory_order_relaxed);
        levels[in * columns + outputs] = inputVolumes_[in].load(std::memory_order_relaxed);
    }
    for (std::uint32_t out = 0; out < outputs; ++out)
        levels[inputs * columns + out] = outputVolumes_[out].load(std::memory_order_relaxed);
    levels.back() = master_.load(std::memory_order_relaxed);
    const std::size_t bytes = levels.size() * sizeof(float);
    if (data.size() < bytes)
        return matrixError(AudioUnitErr::invalidPropertyValue,
                           "The matrix levels take " + std::to_string(bytes) + " bytes");
    std::memcpy(data.data(), levels.data(), bytes);
    return bytes;
}

bool MatrixMixerUnit::acceptsElementCount(AudioUnitScope scope, std::uint32_t count) const {
    return scope == AudioUnitScope::input ? count <= maximumChannels : count == 1;
}

Result<void> MatrixMixerUnit::allocateInternalRenderResources() {
    if (inputChannelCount() > maximumChannels || outputChannelCount() > maximumChannels)
        return matrixError(AudioUnitErr::invalidPropertyValue, "The matrix mixer takes at most " +
                                                                   std::to_string(maximumChannels) +
                                                                   " channels on each side");
    return Result<void>();
}

RenderStatus MatrixMixerUnit::internalRender(const AudioTime&, AUAudioFrameCount frames, std::uint32_t,
                                             AudioBufferList& output, const AURenderEvent*,
                                             const AudioUnitPullInput& input) {
    const std::uint32_t outputs = output.numberBuffers;
    for (std::uint32_t out = 0; out < outputs; ++out) {
        output.buffers[out].dataByteSize = frames * sizeof(float);
        std::memset(output.floatData(out), 0, frames * sizeof(float));
    }
    RenderStatus status = RenderStatus::success;
    std::uint32_t channel = 0;
    for (std::uint32_t bus = 0; bus < inputBusCount(); ++bus) {
        const AudioBufferList* data = nullptr;
        if (input.pull(bus, frames, data) == RenderStatus::error) status = RenderStatus::error;
        const std::uint32_t channels = inputBus(bus).format().channelCount();
        for (std::uint32_t c = 0; c < channels; ++c, ++channel) {
            const float gain = inputVolumes_[channel].load(std::memory_order_relaxed);
            if (!data || c >= data->numberBuffers || gain == 0.0f) continue;
            const float* samples = data->floatData(c);
            for (std::uint32_t out = 0; out < outputs; ++out) {
                const float g =
                    gain * crosspoints_[channel * maximumChannels + out].load(std::memory_order_relaxed);
                if (g == 0.0f) continue;
                float* to = output.floatData(out);
                for (std::uint32_t i = 0; i < frames; ++i)
                    to[i] += g * samples[i];
            }
        }
    }
    const float master = master_.load(std::memory_order_relaxed);
    for (std::uint32_t out = 0; out < outputs; ++out) {
        const float gain = master * outputVolumes_[out].load(std::memory_order_relaxed);
        float* to = output.floatData(out);
        for (std::uint32_t i = 0; i < frames; ++i)
            to[i] *= gain;
    }
    return status;
}

} // namespace platform
