#pragma once
// The platform sampler with a hidden MIDI destination of its own: every event arriving there goes unchanged,
// at once and on the MIDI service's thread, to the sampler unit's MIDI event queue (no main-queue hop, no
// lock). Main thread otherwise; destroying the sampler disposes of the destinations it still has.

#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/Playback/PlatformSampler/PlatformSampler.h"
#include "platform/midi/MIDITypes.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rozezeru {

class MIDI;

class MIDISampler : public PlatformSampler, public NamedNode {
public:
    explicit MIDISampler(const std::optional<std::string>& midiInputName = std::nullopt);
    ~MIDISampler() override;

    std::string name() const override { return name_; }
    void setName(const std::string& name) override { name_ = name; }
    platform::MIDIEndpointRef midiIn() const { return midiIn_; }

    // Makes a further destination (named after the sampler when no name is given); midiIn() names the newest.
    virtual void createMIDIDestination(platform::MIDIClientRef client,
                                       const std::optional<std::string>& name = std::nullopt);
    // Velocity 0 stops the note.
    virtual void handleNoteOn(std::uint8_t noteNumber, std::uint8_t velocity, std::uint8_t channel);
    virtual void handleController(std::uint8_t controller, std::uint8_t value, std::uint8_t channel);
    // Disposes of the destination midiIn() names, if any.
    virtual void disposeMIDIDestination();

private:
    void makeDestination(platform::MIDIClientRef client, const std::optional<std::string>& name);

    platform::MIDIEndpointRef midiIn_ = 0;
    std::string name_ = "(unset)";
    std::shared_ptr<MIDI> midi_;
    std::vector<platform::MIDIEndpointRef> destinations_;
};

} // namespace rozezeru
