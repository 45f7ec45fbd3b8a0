#include "Sigpro/kernels/GeneratorKernels.h"

#include "Sigpro/kernels/KernelLog.h"
#include "Sigpro/modules/RecordLifetime.h"

#include <string>

namespace sigpro {

namespace generatorShape {

void refuseWavetable(std::size_t length, int index, std::size_t tableCount) {
    constexpr std::string_view function = "setWavetable(_:length:index:)";
    if (length == 0)
        kernelLog(function, "A wavetable of no points is refused; the kernel keeps the one it has");
    else
        kernelLog(function, "No wavetable " + std::to_string(index) + " here: the kernel keeps " +
                                std::to_string(tableCount) + " tables, from 0");
}

} // namespace generatorShape

namespace generatorRows {

int phaseDistortionChainCreate(PhaseDistortionChain** p) {
    if (!createModuleRecord(p)) return 0;
    PhaseDistortionChain& chain = **p;
    if (sp_phasor_create(&chain.phasor) && sp_pdhalf_create(&chain.distortion) &&
        sp_tabread_create(&chain.reader))
        return 1;
    phaseDistortionChainDestroy(p);
    return 0;
}

int phaseDistortionChainDestroy(PhaseDistortionChain** p) {
    if (p == nullptr || *p == nullptr) return 1;
    PhaseDistortionChain& chain = **p;
    if (chain.phasor) sp_phasor_destroy(&chain.phasor);
    if (chain.distortion) sp_pdhalf_destroy(&chain.distortion);
    if (chain.reader) sp_tabread_destroy(&chain.reader);
    destroyModuleRecord(p);
    return 1;
}

} // namespace generatorRows

void MetalBarDSP::handleMIDIEvent(const AUMIDIEvent&) {
    // A bar whose grid could not be made stays silent (and quiet: its set-up would report again).
    if (module_ && module_->points > 0) generatorRows::MetalBar::setUp(sp, module_, tables_);
    triggerValue = 1.0f;
}

} // namespace sigpro
