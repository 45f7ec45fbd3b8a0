#include "RozezEruEX/CallbackInstrument.h"

#include "RozezEruEX/ExtraNodeKernels.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "platform/audio/AudioUnitNode.h"

namespace rozezeru {

CallbackInstrument::CallbackInstrument(CallbackInstrumentCallback midiCallback)
    : unit_((registerExtraNodeKernels(), instantiateInstrument(componentSubType))) {
    if (midiCallback) rzCallbackInstrumentSetCallback(rozezEruAU(*this).dsp(), std::move(midiCallback));
}

std::shared_ptr<platform::AudioNode> CallbackInstrument::avAudioNode() const {
    return unit_;
}

} // namespace rozezeru
