#include "SigproRozezEru/Generators/OscillatorWaveform.h"

#include "RozezEru/Internals/Table.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "SigproRozezEru/Effects/EffectWaveform.h"

namespace rozezeru {

std::shared_ptr<const Table> defaultOscillatorWaveform() {
    static const std::shared_ptr<const Table> waveform = std::make_shared<const Table>(TableType::sine, 4096);
    return waveform;
}

std::shared_ptr<const Table> handOscillatorWaveform(const Node& node, std::shared_ptr<const Table> waveform,
                                                    std::string_view function) {
    if (!isReadableWaveform(waveform, function, "the default sine is played instead"))
        waveform = defaultOscillatorWaveform();
    rozezEruAU(node).setWavetable(waveform->content(), 0);
    return waveform;
}

} // namespace rozezeru
