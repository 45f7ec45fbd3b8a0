#pragma once
// Typed access to the kernel-hosting unit behind a node, and the default note behaviour of nodes that
// open and close a gate or strike a note: each sends a note-on on channel 0 and cable 0 to the node's
// RozezEruAU for the next render cycle. A node whose unit is not a RozezEruAU, or a unit that takes no
// MIDI, is a programming error that stops the program. Main thread (any thread but the render thread).

#include <cstdint>

namespace rozezeru {

class Node;
class RozezEruAU;

// The node's unit as a RozezEruAU; anything else stops the program ("Wrong audio unit type.").
RozezEruAU& rozezEruAU(const Node& node);

// A node that plays while its gate is open (an envelope). Mixed into Node subclasses.
class Gated {
public:
    // Note 64 at velocity 127.
    virtual void openGate();
    // Note 64 at velocity 0, which the kernel takes as a note-off.
    virtual void closeGate();

protected:
    ~Gated() = default;
};

// A node that sounds once per trigger (a struck or plucked model). Mixed into Node subclasses.
class Triggerable {
public:
    // Note 64 at velocity 127.
    virtual void trigger();

protected:
    ~Triggerable() = default;
};

// A node that plays given notes. Mixed into Node subclasses.
class MIDITriggerable {
public:
    // Starts the node (its bypass goes off), then a note-on with `note` and `velocity`.
    virtual void trigger(std::uint8_t note, std::uint8_t velocity);

protected:
    ~MIDITriggerable() = default;
};

} // namespace rozezeru
