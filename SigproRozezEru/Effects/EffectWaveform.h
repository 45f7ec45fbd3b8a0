#pragma once
// The wavetable of the effects that read one (AutoPanner, Tremolo): the one they start with unless given
// another, and the check that a given one can be read at all. Main thread.

#include <memory>
#include <string_view>

namespace rozezeru {

class Table;

// One cycle of a sine from 0 to 1, 4096 samples; made once and shared.
std::shared_ptr<const Table> defaultEffectWaveform();

// Whether the waveform has samples for an oscillator to read; a null or empty one is reported with an
// error record in `function`, which says what is done instead.
bool isReadableWaveform(const std::shared_ptr<const Table>& waveform, std::string_view function,
                        std::string_view instead);

} // namespace rozezeru
