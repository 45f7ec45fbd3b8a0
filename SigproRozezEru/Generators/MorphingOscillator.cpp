#include "SigproRozezEru/Generators/MorphingOscillator.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Table.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Generators/OscillatorWaveform.h"

#include <algorithm>

namespace rozezeru {

namespace {

constexpr std::string_view morphingInitFunction =
    "init(waveformArray:frequency:amplitude:index:detuningOffset:detuningMultiplier:)";

// The tables the kernel can read: the kernel indexes every table by the first one's size, and has four
// slots.
MorphingOscillator::Tables playableMorphingTables(MorphingOscillator::Tables tables) {
    const auto refuse = [](std::string_view why) {
        Log(LogSite(morphingInitFunction, LogType::error), "🛑 Error:", why,
            "- the default sine is played instead");
        return MorphingOscillator::Tables{defaultOscillatorWaveform()};
    };
    if (tables.empty()) return refuse("A morphing oscillator needs at least one table");
    if (std::any_of(tables.begin(), tables.end(),
                    [](const auto& table) { return !table || table->isEmpty(); }))
        return refuse("A waveform without samples cannot be read");
    if (std::any_of(tables.begin(), tables.end(),
                    [&](const auto& table) { return table->count() != tables.front()->count(); }))
        return refuse("The tables of a morphing oscillator must all have the same size");
    if (tables.size() > MorphingOscillator::maximumTableCount) {
        Log(LogSite(morphingInitFunction, LogType::error), "🛑 Error: Of", tables.size(),
            "tables a morphing oscillator plays the first", MorphingOscillator::maximumTableCount);
        tables.resize(MorphingOscillator::maximumTableCount);
    }
    return tables;
}

} // namespace

const MorphingOscillator::Tables& MorphingOscillator::defaultWaveformArray() {
    static const Tables tables{
        std::make_shared<const Table>(TableType::sine, 4096),
        std::make_shared<const Table>(TableType::triangle, 4096),
        std::make_shared<const Table>(TableType::square, 4096),
        std::make_shared<const Table>(TableType::sawtooth, 4096),
    };
    return tables;
}

MorphingOscillator::MorphingOscillator(Tables waveformArray, platform::AUValue frequency,
                                       platform::AUValue amplitude, platform::AUValue index,
                                       platform::AUValue detuningOffset, platform::AUValue detuningMultiplier)
    : GeneratorNode(componentSubType) {
    setupParameters();
    stop();
    waveformArray_ = playableMorphingTables(std::move(waveformArray));
    RozezEruAU& unit = rozezEruAU(*this);
    for (std::size_t slot = 0; slot < waveformArray_.size(); ++slot)
        unit.setWavetable(waveformArray_[slot]->content(), int(slot));
    writeInitialValues({frequency, amplitude, index, detuningOffset, detuningMultiplier});
}

} // namespace rozezeru
