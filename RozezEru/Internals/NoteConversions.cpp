#include "RozezEru/Internals/NoteConversions.h"

#include <cmath>

namespace rozezeru {

float noteToFrequency(float note, float reference) {
    return reference * std::pow(2.0f, (note - 69.0f) / 12.0f);
}

float frequencyToNote(float frequency, float reference) {
    return 12.0f * std::log2(frequency / reference) + 69.0f;
}

} // namespace rozezeru
