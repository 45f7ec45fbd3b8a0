#include "RozezEruEX/ExtraNodeKernels.h"

#include "RozezEruEX/CallbackInstrumentDSP.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/DryWetMixerDSP.h"
#include "RozezEruEX/FaderDSP.h"
#include "RozezEruEX/StereoFieldLimiterDSP.h"

#include <mutex>

namespace rozezeru {

void registerExtraNodeKernels() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        registerDSP<CallbackInstrumentDSP>("clbk", {});
        registerDSP<DryWetDualMixerDSP>("dwm2",
                                        {"DryWetDualMixerParameterDry", "DryWetDualMixerParameterWet"});
        registerDSP<DryWetMixerDSP>("dwmx", {"DryWetMixerParameterBalance"});
        registerDSP<FaderDSP>("fder", {"FaderParameterLeftGain", "FaderParameterRightGain",
                                       "FaderParameterFlipStereo", "FaderParameterMixToMono"});
        registerDSP<StereoFieldLimiterDSP>("sflm", {"StereoFieldLimiterParameterAmount"});
    });
}

} // namespace rozezeru
