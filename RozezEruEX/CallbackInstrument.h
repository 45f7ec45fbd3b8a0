#pragma once
// An instrument node that makes no sound: the MIDI messages it is sent (by a sequencer, or scheduled on its
// unit) reach a caller's callback from a 10 ms timer, away from the render thread, in the order they
// arrived and with the sample time each applied at (CallbackInstrumentDSP.h). Main thread; the callback
// runs on a thread of the shared queue "rozez.eru.timer.queue".

#include "RozezEru/Nodes/Node.h"
#include "RozezEruEX/CallbackInstrumentDSP.h"

#include <memory>
#include <string_view>
#include <vector>

namespace platform {
class AudioUnitNode;
} // namespace platform

namespace rozezeru {

class CallbackInstrument final : public Node {
public:
    static constexpr std::string_view componentSubType = "clbk";

    // Without a callback the instrument takes the messages in and drops them.
    explicit CallbackInstrument(CallbackInstrumentCallback midiCallback = {});

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override;

private:
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

} // namespace rozezeru
