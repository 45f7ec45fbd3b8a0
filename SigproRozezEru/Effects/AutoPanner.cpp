#include "SigproRozezEru/Effects/AutoPanner.h"

#include "RozezEru/Internals/Table.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"

namespace rozezeru {

AutoPanner::AutoPanner(std::shared_ptr<Node> input, platform::AUValue frequency, platform::AUValue depth,
                       std::shared_ptr<const Table> waveform)
    : EffectNode(std::move(input), componentSubType) {
    setupParameters();
    if (!isReadableWaveform(waveform, "init(_:frequency:depth:waveform:)", "the default sine pans instead"))
        waveform = defaultEffectWaveform();
    rozezEruAU(*this).setWavetable(waveform->content(), 0);
    writeInitialValues({frequency, depth});
}

} // namespace rozezeru
