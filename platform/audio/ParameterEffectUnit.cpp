#include "platform/audio/ParameterEffectUnit.h"

#include "platform/audio/AUParameterTree.h"

#include <algorithm>
#include <cmath>

namespace platform {

ParameterEffectUnit::ParameterEffectUnit(const AudioComponentDescription& description,
                                         std::span<const EffectParameterRow> rows)
    : AudioUnit(description, 1, 1, *AudioFormat::standard(44100.0, 2)), rows_(rows),
      values_(new std::atomic<float>[rows.size()]), ramps_(new Ramp[rows.size()]) {
    std::vector<std::shared_ptr<AUParameter>> parameters;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const EffectParameterRow& row = rows[i];
        values_[i].store(row.defaultValue, std::memory_order_relaxed);
        ramps_[i].current = ramps_[i].target = ramps_[i].seen = row.defaultValue;
        auto parameter = AUParameterTree::createParameter(row.identifier, row.name, row.address, row.minValue,
                                                          row.maxValue, row.unit, row.flags);
        parameter->setValue(row.defaultValue);
        parameters.push_back(std::move(parameter));
    }
    auto tree = AUParameterTree::createTree(std::move(parameters));
    tree->setImplementorValueObserver([this](const AUParameter& parameter, AUValue value) {
        const std::ptrdiff_t row = rowOf(parameter.address());
        if (row < 0 || std::isnan(value) ||
            !(rows_[std::size_t(row)].flags & AudioUnitParameterFlag::isWritable))
            return;
        values_[std::size_t(row)].store(limited(std::size_t(row), value), std::memory_order_relaxed);
    });
    tree->setImplementorValueProvider(
        [this](const AUParameter& parameter) -> AUValue { return parameterValue(parameter.address()); });
    setParameterTree(std::move(tree));
}

ParameterEffectUnit::~ParameterEffectUnit() = default;

std::ptrdiff_t ParameterEffectUnit::rowOf(AUParameterAddress address) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].address == address) return std::ptrdiff_t(i);
    return -1;
}

AUValue ParameterEffectUnit::limited(std::size_t row, AUValue value) const {
    return std::clamp(value, rows_[row].minValue, rows_[row].maxValue);
}

AUValue ParameterEffectUnit::parameterValue(AUParameterAddress address) const {
    const std::ptrdiff_t row = rowOf(address);
    return row < 0 ? NAN : values_[std::size_t(row)].load(std::memory_order_relaxed);
}

void ParameterEffectUnit::setRow(std::size_t index, AUValue value) {
    parameterTree()->allParameters()[index]->setValue(value);
}

Result<void> ParameterEffectUnit::allocateInternalRenderResources() {
    auto prepared = prepareRender(outputBus(0).format().channelCount(), outputBus(0).format().sampleRate());
    if (!prepared) return prepared;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const float value = values_[i].load(std::memory_order_relaxed);
        ramps_[i] = Ramp{value, value, 0.0f, 0, value};
    }
    ramping_ = false;
    return Result<void>();
}

void ParameterEffectUnit::deallocateInternalRenderResources() {
    releaseRender();
}

void ParameterEffectUnit::resetInternalRenderState() {
    if (renderResourcesAllocated()) clearRender();
}

// A value set through the tree since the last look jumps there and ends a ramp under way.
void ParameterEffectUnit::takeUpStoredValues() {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (!(rows_[i].flags & AudioUnitParameterFlag::isWritable)) continue;
        const float stored = values_[i].load(std::memory_order_relaxed);
        Ramp& ramp = ramps_[i];
        if (stored == ramp.seen) continue;
        ramp = Ramp{stored, stored, 0.0f, 0, stored};
    }
}

void ParameterEffectUnit::apply(const AURenderEvent& event) {
    if (event.eventType == AURenderEventType::midi) return;
    const std::ptrdiff_t row = rowOf(event.parameter.parameterAddress);
    if (row < 0 || std::isnan(event.parameter.value) ||
        !(rows_[std::size_t(row)].flags & AudioUnitParameterFlag::isWritable))
        return;
    const float value = limited(std::size_t(row), event.parameter.value);
    values_[std::size_t(row)].store(value, std::memory_order_relaxed);
    Ramp& ramp = ramps_[std::size_t(row)];
    ramp.seen = ramp.target = value;
    ramp.remaining = event.parameter.rampDurationSampleFrames;
    if (ramp.remaining == 0) {
        ramp.current = value;
        ramp.step = 0.0f;
    } else {
        ramp.step = (value - ramp.current) / float(ramp.remaining);
        ramping_ = true;
    }
}

void ParameterEffectUnit::advanceRamps(AUAudioFrameCount frames) {
    ramping_ = false;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        Ramp& ramp = ramps_[i];
        if (ramp.remaining == 0) continue;
        if (frames >= ramp.remaining) {
            ramp.remaining = 0;
            ramp.current = ramp.target;
        } else {
            ramp.remaining -= frames;
            ramp.current += ramp.step * float(frames);
            ramping_ = true;
        }
    }
}

RenderStatus ParameterEffectUnit::internalRender(const AudioTime& timestamp, AUAudioFrameCount frames,
                                                 std::uint32_t, AudioBufferList& output,
                                                 const AURenderEvent* events,
                                                 const AudioUnitPullInput& input) {
    const RenderStatus status = input.pullInto(0, frames, output);
    takeUpStoredValues();
    const AUEventSampleTime start = timestamp.sampleTime();
    AUAudioFrameCount done = 0;
    while (done < frames) {
        for (; events && events->eventSampleTime <= start + AUEventSampleTime(done); events = events->next)
            apply(*events);
        AUAudioFrameCount end = frames;
        if (events)
            end = std::min<AUAudioFrameCount>(end, AUAudioFrameCount(events->eventSampleTime - start));
        if (ramping_) end = std::min(end, done + rampSliceFrames);
        processSlice(output, done, end - done);
        if (ramping_) advanceRamps(end - done);
        done = end;
    }
    return status == RenderStatus::error ? RenderStatus::error : RenderStatus::success;
}

} // namespace platform
