#pragma once
// The generator kernels as the tests see them: a row per code with its node class and parameters (the
// node's defaults and ranges), kernels made ready, renders in cycles with MIDI messages. Test thread.

#include "tests/RozezEruEX/KernelHarness.h"
#include "tests/support/Signals.h"

#include "RozezEruEX/DSPRegistry.h"
#include "Sigpro/kernels/SigproKernels.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace generatortest {

using kerneltest::EventList;
using kerneltest::KernelHarness;

struct Setting {
    const char* name;
    float value, minimum, maximum;
};

struct GeneratorRow {
    const char* code;
    const char* nodeClass;
    std::vector<Setting> parameters;
    int tables = 0, inputBusses = 0; // wavetables played: 0, 1 or 4
};

inline const std::vector<GeneratorRow>& generatorRows() {
    const Setting offset{"DetuningOffset", 0, -1000, 1000}, multiplier{"DetuningMultiplier", 1, 0.9f, 1.11f};
    // clang-format off
    static const std::vector<GeneratorRow> rows{
        {"bron", "BrownianNoise", {{"Amplitude", 1, 0, 1}}},
        {"csto", "DynamicOscillator", {{"Frequency", 440, 0, 20000}, {"Amplitude", 1, 0, 10}, offset, multiplier},
            1},
        {"fosc", "FMOscillator", {{"BaseFrequency", 440, 0, 20000}, {"CarrierMultiplier", 1, 0, 1000},
            {"ModulatingMultiplier", 1, 0, 1000}, {"ModulationIndex", 1, 0, 1000}, {"Amplitude", 1, 0, 10}}, 1},
        {"mbar", "MetalBar", {{"LeftBoundaryCondition", 1, 1, 3}, {"RightBoundaryCondition", 1, 1, 3},
            {"DecayDuration", 3, 0, 10}, {"ScanSpeed", 0.25f, 0, 100}, {"Position", 0.2f, 0, 1},
            {"StrikeVelocity", 500, 0, 1000}, {"StrikeWidth", 0.05f, 0, 1}}},
        {"morf", "MorphingOscillator", {{"Frequency", 440, 0, 22050}, {"Amplitude", 0.5f, 0, 1}, {"Index", 0, 0, 3},
            offset, multiplier}, 4},
        {"oscl", "Oscillator", {{"Frequency", 440, 0, 20000}, {"Amplitude", 1, 0, 10}, offset, multiplier}, 1},
        {"pwmo", "PWMOscillator", {{"Frequency", 440, 0, 20000}, {"Amplitude", 1, 0, 10}, {"PulseWidth", 0.5f, 0, 1},
            offset, multiplier}},
        {"pdho", "PhaseDistortionOscillator", {{"Frequency", 440, 0, 20000}, {"Amplitude", 1, 0, 10},
            {"PhaseDistortion", 0, -1, 1}, offset, multiplier}, 1},
        {"minc", "PhaseLockedVocoder", {{"Position", 0, 0, 100000}, {"Amplitude", 1, 0, 1},
            {"PitchRatio", 1, 0, 1000}}, 1, 1},
        {"pink", "PinkNoise", {{"Amplitude", 1, 0, 1}}},
        {"pluk", "PluckedString", {{"Frequency", 110, 0, 22000}, {"Amplitude", 0.5f, 0, 1}}},
        {"vocw", "VocalTract", {{"Frequency", 160, 0, 22050}, {"TonguePosition", 0.5f, 0, 1},
            {"TongueDiameter", 1, 0, 1}, {"Tenseness", 0.6f, 0, 1}, {"Nasality", 0, 0, 1}}},
        {"wnoz", "WhiteNoise", {{"Amplitude", 1, 0, 1}}},
    };
    // clang-format on
    return rows;
}

// A kernel of `code` at 44100 Hz with `values` (the defaults without) and `tables` (sine cycles without).
inline std::unique_ptr<rozezeru::DSPBase>
readyGenerator(std::string_view code, std::vector<float> values = {},
               std::optional<std::vector<std::vector<float>>> tables = {}, int channels = 2) {
    const GeneratorRow& row = *std::find_if(generatorRows().begin(), generatorRows().end(),
                                            [&](const GeneratorRow& r) { return code == r.code; });
    if (!tables) tables.emplace(std::size_t(row.tables), testsupport::sine(4096, 1, 4096));
    sigpro::registerSigproKernels();
    auto dsp = rozezeru::create(code);
    for (std::size_t address = 0; address < row.parameters.size(); ++address)
        dsp->setParameter(address, address < values.size() ? values[address] : row.parameters[address].value,
                          false);
    for (std::size_t index = 0; index < tables->size(); ++index)
        rozezeru::rzSetWavetable(dsp.get(), (*tables)[index].data(), (*tables)[index].size(), int(index));
    dsp->init(channels, 44100.0);
    return dsp;
}

struct Message {
    std::int64_t time;
    std::uint8_t status, data1, data2;
};
inline const std::vector<Message> noteOnAtStart{{0, 0x90, 64, 127}};

// `frames` frames of output channel 0 from `sampleTime` on, in cycles of `cycle`, each message going with
// the cycle that holds its time.
inline std::vector<float> renderGenerator(KernelHarness& harness, std::uint32_t frames,
                                          std::uint32_t cycle = 512,
                                          const std::vector<Message>& messages = {},
                                          std::int64_t sampleTime = 0) {
    std::vector<float> samples;
    for (std::uint32_t done = 0, count = 0; done < frames; done += count) {
        count = std::min(cycle, frames - done);
        const std::int64_t start = sampleTime + done;
        EventList events;
        for (const Message& m : messages)
            if (m.time >= start && m.time < start + count) events.midi(m.time, {m.status, m.data1, m.data2});
        harness.render(start, count, events.head());
        samples.insert(samples.end(), harness.output(0), harness.output(0) + count);
    }
    return samples;
}

// What renderGenerator gives for a fresh kernel of `code` with `values`.
inline std::vector<float> renderFreshGenerator(std::string_view code, std::vector<float> values,
                                               std::uint32_t frames, std::uint32_t cycle = 512,
                                               const std::vector<Message>& messages = {}) {
    auto dsp = readyGenerator(code, std::move(values));
    KernelHarness harness(*dsp);
    return renderGenerator(harness, frames, cycle, messages);
}

} // namespace generatortest
