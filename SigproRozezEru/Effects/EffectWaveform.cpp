#include "SigproRozezEru/Effects/EffectWaveform.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Table.h"

namespace rozezeru {

std::shared_ptr<const Table> defaultEffectWaveform() {
    static const std::shared_ptr<const Table> waveform =
        std::make_shared<const Table>(TableType::positiveSine, 4096);
    return waveform;
}

bool isReadableWaveform(const std::shared_ptr<const Table>& waveform, std::string_view function,
                        std::string_view instead) {
    if (waveform && !waveform->isEmpty()) return true;
    // An oscillator reading no samples would index past its table.
    Log(LogSite(function, LogType::error), "🛑 Error: A waveform without samples cannot be read;", instead);
    return false;
}

} // namespace rozezeru
