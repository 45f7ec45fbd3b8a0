#pragma once
// A small spectrum object over Sigpro's real FFT: one forward transform of a fixed power-of-two size,
// optionally windowed, leaving the power of each bin, from which it averages equally wide bands.
// One thread at a time. No Qt.

#include "Sigpro/modules/sp_fft.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace wavesketch {

enum class SketchFFTWindowType : int { none = 0, hanning = 1, hamming = 2 };

// No value for a raw value that names no window.
std::optional<SketchFFTWindowType> sketchFFTWindowType(int rawValue);

class SketchFFT {
public:
    // Null unless `size` is a power of two from 2 to 2^20.
    static std::unique_ptr<SketchFFT> make(std::int64_t size, float sampleRate);
    ~SketchFFT();
    SketchFFT(const SketchFFT&) = delete;
    SketchFFT& operator=(const SketchFFT&) = delete;

    // Fills magnitudes with halfSize unscaled bin powers (2·|X(k)|)², X the discrete transform (the
    // packed real transform's doubled output): a unit sine on bin 100 of 4096 gives 4096². Entry 0 holds
    // (2·DC)² + (2·Nyquist)², as the packed real spectrum puts them together. A block of any other length
    // than size is ignored.
    void fftForward(std::span<const float> samples);
    // Averages magnitudes into `numberOfBands` bands from minFrequency to maxFrequency (the latter lowered
    // to the Nyquist frequency). Ignored before the first transform and for bands that cannot be formed
    // (no band, a negative or reversed range).
    void calculateLinearBands(float minFrequency, float maxFrequency, std::int64_t numberOfBands);

    const std::int64_t size;
    const float sampleRate;
    std::vector<float> magnitudes;
    std::optional<std::vector<float>> bandMagnitudes;
    std::optional<std::vector<float>> bandFrequencies;
    std::int64_t numberOfBands = 0;
    std::optional<float> bandMinFreq;
    std::optional<float> bandMaxFreq;
    // Set by the owner before transforming; the window is computed at the first windowed transform.
    SketchFFTWindowType windowType = SketchFFTWindowType::none;
    const std::int64_t halfSize;
    const std::int64_t log2Size;
    bool hasPerformedFFT = false;

private:
    SketchFFT(std::int64_t size, float sampleRate, int log2Size);

    std::vector<float> window_;
    SketchFFTWindowType windowMade_ = SketchFFTWindowType::none;
    std::vector<float> work_;
    sigpro::sp_fft setup_{};
};

} // namespace wavesketch
