#pragma once
// The wavetables of the oscillator nodes: the sine they play unless given another table, and how a given
// table reaches the kernel. Main thread.

#include <memory>
#include <string_view>

namespace rozezeru {

class Node;
class Table;

// One cycle of a sine from -1 to 1, 4096 samples; made once and shared.
std::shared_ptr<const Table> defaultOscillatorWaveform();

// Hands the waveform's samples to the kernel of `node` as its wavetable 0 and returns the table handed.
// A waveform without samples would leave the kernel reading past its table: it is refused with an error
// record in `function`, and the default sine is handed (and returned) instead.
std::shared_ptr<const Table> handOscillatorWaveform(const Node& node, std::shared_ptr<const Table> waveform,
                                                    std::string_view function);

} // namespace rozezeru
