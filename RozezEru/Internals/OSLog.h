#pragma once
// The toolkit's log categories.

#include "platform/foundation/LogSink.h"

#include <string_view>

namespace rozezeru {

// The four categories the toolkit logs to, each made once on first use and then shared for the
// life of the process. Any thread.
class OSLog {
public:
    // The subsystem identifier all four share.
    static constexpr std::string_view subsystem = "com.fennorastudio.RozezEru";

    // Engine, mixers, nodes, parameters, players, taps, devices, tables and the non-MIDI status codes.
    static const platform::LogCategory& general();
    // Audio settings.
    static const platform::LogCategory& settings();
    // MIDI and the MIDI status codes.
    static const platform::LogCategory& midi();
    // Reading audio files into buffers and waveform data requests.
    static const platform::LogCategory& fileHandling();
};

} // namespace rozezeru
