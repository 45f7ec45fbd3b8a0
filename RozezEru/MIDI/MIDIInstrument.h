#pragma once
// The base of nodes played by MIDI. MIDI reaches an instrument through its own hidden destination (decoded on
// the main queue) or as a listener of a MIDI input (on that input's thread). Here the sound-making operations
// do nothing; subclasses override them. Make, use and destroy an instrument on the main thread: destroying it
// disposes of its destination, and messages already on their way to the main queue are then dropped.

#include "RozezEru/MIDI/Listeners/MIDIListener.h"
#include "RozezEru/Nodes/Node.h"
#include "platform/midi/MIDITypes.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rozezeru {

class MIDI;

class MIDIInstrument : public Node, public NamedNode, public MIDIListener {
public:
    explicit MIDIInstrument(const std::optional<std::string>& midiInputName = std::nullopt);
    ~MIDIInstrument() override;

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return avAudioNode_; }
    void setAVAudioNode(std::shared_ptr<platform::AudioNode> node) { avAudioNode_ = std::move(node); }
    std::string name() const override { return name_; }
    void setName(const std::string& name) override { name_ = name; }
    platform::MIDIEndpointRef midiIn() const { return midiIn_; }
    // The notes started through the listener interface and not yet stopped there.
    const std::vector<std::pair<std::uint8_t, std::uint8_t>>& mpeActiveNotes() const {
        return mpeActiveNotes_;
    }

    // Makes a further destination on `client` (named after the instrument when no name is given); the
    // instrument keeps only the newest one.
    virtual void createMIDIDestination(platform::MIDIClientRef client,
                                       const std::optional<std::string>& name = std::nullopt);

    void receivedMIDINoteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                            PortID portID, EventTime timeStamp) override;
    void receivedMIDINoteOff(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                             PortID portID, EventTime timeStamp) override;

    virtual void start(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel,
                       EventTime timeStamp = std::nullopt) {}
    virtual void stop(std::uint8_t noteNumber, std::uint8_t channel, EventTime timeStamp = std::nullopt) {}
    virtual void programChange(std::uint8_t program, std::uint8_t channel,
                               EventTime timeStamp = std::nullopt) {}

    // Decodes one channel message as if it had arrived at the destination; other status bytes do nothing.
    void handleMIDI(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);

private:
    struct Receiver;
    void disposeDestinations();

    std::shared_ptr<platform::AudioNode> avAudioNode_;
    platform::MIDIEndpointRef midiIn_ = 0;
    std::string name_ = "(unset)";
    std::vector<std::pair<std::uint8_t, std::uint8_t>> mpeActiveNotes_;
    // Reached by the receive blocks, which must not keep the instrument alive.
    std::shared_ptr<Receiver> receiver_;
    std::shared_ptr<MIDI> midi_;
    std::vector<platform::MIDIEndpointRef> destinations_;
};

} // namespace rozezeru
