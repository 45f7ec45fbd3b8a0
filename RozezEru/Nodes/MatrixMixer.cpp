#include "RozezEru/Nodes/MatrixMixer.h"

#include "RozezEru/Internals/AudioUnitHelpers.h"
#include "RozezEru/Internals/Log.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/MatrixMixerUnit.h"
#include "platform/foundation/FloatText.h"

#include <cstring>
#include <iostream>
#include <string>

namespace rozezeru {

namespace {

using platform::AudioUnitScope;
using platform::MatrixMixerUnit;

void matrixSetElementCount(platform::AudioUnit& unit, AudioUnitScope scope, std::uint32_t count) {
    std::byte bytes[sizeof count];
    std::memcpy(bytes, &count, sizeof count);
    (void)unit.setProperty(platform::AudioUnitProperty::elementCount, scope, 0, bytes);
}

bool matrixChannelFits(std::int64_t channel, std::int64_t limit, const char* function) {
    if (channel >= 0 && channel <= limit) return true;
    Log(LogSite(function, LogType::error), "🛑 Error: No such matrix mixer channel:", channel);
    return false;
}

std::string matrixListText(const std::vector<float>& row, std::size_t count) {
    std::string text = "[";
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) text += ", ";
        text += platform::floatText(row[i]);
    }
    return text + "]";
}

} // namespace

MatrixMixer::MatrixMixer(std::vector<std::shared_ptr<Node>> inputs)
    : inputs_(std::move(inputs)), unit_(instantiateSynchronously(MatrixMixerUnit::componentDescription())) {
    // Results are not looked at: a count the unit refuses shows as busses it does not have.
    matrixSetElementCount(unit_->auAudioUnit(), AudioUnitScope::input, std::uint32_t(inputs_.size()));
    matrixSetElementCount(unit_->auAudioUnit(), AudioUnitScope::output, 1);
}

MatrixMixer::~MatrixMixer() = default;

std::shared_ptr<platform::AudioNode> MatrixMixer::avAudioNode() const {
    return unit_;
}

float MatrixMixer::masterVolume() const {
    return unit_->auAudioUnit()
        .getParameter(MatrixMixerUnit::volumeParameter, AudioUnitScope::global,
                      MatrixMixerUnit::masterElement)
        .valueOr(0.0f);
}

void MatrixMixer::setMasterVolume(float volume) {
    (void)unit_->auAudioUnit().setParameter(MatrixMixerUnit::volumeParameter, AudioUnitScope::global,
                                            MatrixMixerUnit::masterElement, volume);
}

void MatrixMixer::unmuteAll() {
    for (std::uint32_t channel = 0, count = inputChannelCount(); channel < count; ++channel)
        setInputChannelVolume(1.0f, channel);
    for (std::uint32_t channel = 0, count = outputChannelCount(); channel < count; ++channel)
        setOutputChannelVolume(1.0f, channel);
}

void MatrixMixer::setInputChannelVolume(float volume, std::int64_t inputChannel) {
    if (!matrixChannelFits(inputChannel, 0xFFFFFFFF, "set(volume:inputChannel:)")) return;
    (void)unit_->auAudioUnit().setParameter(MatrixMixerUnit::volumeParameter, AudioUnitScope::input,
                                            std::uint32_t(inputChannel), volume);
}

void MatrixMixer::setOutputChannelVolume(float volume, std::int64_t outputChannel) {
    if (!matrixChannelFits(outputChannel, 0xFFFFFFFF, "set(volume:outputChannel:)")) return;
    (void)unit_->auAudioUnit().setParameter(MatrixMixerUnit::volumeParameter, AudioUnitScope::output,
                                            std::uint32_t(outputChannel), volume);
}

void MatrixMixer::setCrosspointsVolume(
    float volume, const std::vector<std::pair<std::int64_t, std::int64_t>>& crosspoints) {
    for (const auto& [in, out] : crosspoints) {
        if (!matrixChannelFits(in, 0xFFFF, "set(volume:crosspoints:)") ||
            !matrixChannelFits(out, 0xFFFF, "set(volume:crosspoints:)"))
            continue;
        (void)unit_->auAudioUnit().setParameter(
            MatrixMixerUnit::volumeParameter, AudioUnitScope::global,
            MatrixMixerUnit::crosspointElement(std::uint32_t(in), std::uint32_t(out)), volume);
    }
}

std::uint32_t MatrixMixer::inputChannelCount() const {
    std::uint32_t channels = 0;
    for (const auto& input : inputs_)
        channels += input->avAudioNode()->outputFormat(0).channelCount();
    return channels;
}

std::uint32_t MatrixMixer::outputChannelCount() const {
    return unit_->outputFormat(0).channelCount();
}

std::vector<std::vector<float>> MatrixMixer::levels() const {
    const std::size_t rows = std::size_t(inputChannelCount()) + 1,
                      columns = std::size_t(outputChannelCount()) + 1;
    std::vector<float> values(rows * columns, 0.0f);
    // A failed read leaves the zeros.
    (void)unit_->auAudioUnit().getProperty(platform::AudioUnitProperty::matrixLevels, AudioUnitScope::global,
                                           0, std::as_writable_bytes(std::span<float>(values)));
    std::vector<std::vector<float>> result;
    for (std::size_t row = 0; row < rows; ++row)
        result.emplace_back(values.begin() + std::ptrdiff_t(row * columns),
                            values.begin() + std::ptrdiff_t(row * columns + columns));
    return result;
}

void MatrixMixer::printLevels() const {
    printLevels(std::cout);
}

void MatrixMixer::printLevels(std::ostream& out) const {
    const auto rows = levels();
    for (std::size_t k = 0; k < rows.size(); ++k) {
        const auto& row = rows[k];
        const bool last = k + 1 == rows.size();
        out << (last ? "Output Volumes - " : "Input Channel " + std::to_string(k) + " - ")
            << matrixListText(row, row.size() - 1) << (last ? ", Master Volume " : ", Input Volume ")
            << platform::floatText(row.back()) << '\n';
    }
}

} // namespace rozezeru
