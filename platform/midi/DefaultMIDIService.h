#pragma once
// Picks the MIDI service the process uses when it is given none. Any thread.

#include "platform/midi/MIDIService.h"

#include <memory>

namespace platform {

// The environment variable that picks the back end: "loopback" or "alsa".
inline constexpr const char* midiServiceEnvironmentVariable = "VANTLE_MIDI_SERVICE";

// The process's service, made on first use: the ALSA sequencer when it opens (unless the environment
// asks for the loopback), else a threaded loopback. Any thread.
std::shared_ptr<MIDIService> defaultMIDIService();

} // namespace platform
