#pragma once
// The two work arrays of spectral code: real and imaginary parts of `count` 32-bit floats each.
// Owns them; they are freed with the object, so there is no deallocate() to call. Make and fill
// off the render thread; any thread may use one it owns.

#include <cstddef>
#include <vector>

namespace rozezeru {

struct DSPSplitComplex {
    // Both parts hold `repeating`.
    DSPSplitComplex(float repeating, std::size_t count) : DSPSplitComplex(repeating, repeating, count) {}
    DSPSplitComplex(float repeatingReal, float repeatingImag, std::size_t count)
        : realp(count, repeatingReal), imagp(count, repeatingImag) {}

    std::vector<float> realp;
    std::vector<float> imagp;
};

} // namespace rozezeru
