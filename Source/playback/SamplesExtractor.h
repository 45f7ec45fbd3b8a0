#pragma once
// Reduces the audio of a file to one loudness value per point of the waveform picture: 0 loudest,
// 1 at or below the noise floor. The file is decoded once, on a worker thread, and reduced as it is
// read; the result reaches the main queue. Start and cancel on the main thread.

#include "platform/foundation/Result.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

enum class SamplesExtractorError : int {
    audioTrackMediaTypeMissMatch = 1,
    readingError,
    assetNotFound,
    audioTrackNotFound,
    extractionHasFailed,
};
inline constexpr const char* samplesExtractorErrorDomain = "vantle.samplesextractor";

// One running extraction; once cancelled, neither callback runs and the reading stops.
class SamplesExtraction {
public:
    void cancel();
    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

private:
    std::atomic<bool> cancelled_{false};
};

class SamplesExtractor {
public:
    using Identifier = std::optional<std::string>;
    using Success =
        std::function<void(std::vector<float> samples, float sampleMax, const Identifier& identifier)>;
    using Failure = std::function<void(const platform::Error& error, const Identifier& identifier)>;

    // Lowest level in decibels; also the divisor of the final mapping.
    static float noiseFloor();
    static void setNoiseFloor(float decibels);

    // A file that cannot be opened fails before this returns; every later callback runs on the main
    // queue, unless the extraction was cancelled first. A wish of no values is a failure.
    static std::shared_ptr<SamplesExtraction> extractSamples(const std::string& path,
                                                             int desiredNumberOfSamples, Success onSuccess,
                                                             Failure onFailure,
                                                             Identifier identifier = std::nullopt);
};

// The reduction of one extraction: the levels in decibels of the samples in interleaved reading order,
// averaged in groups of samplesPerPixel; exposed so that the arithmetic can be checked and measured
// without a file. Any one thread.
class SampleReducer {
public:
    SampleReducer(std::size_t samplesPerPixel, std::uint32_t channels, float noiseFloor);
    // The levels of `frames` samples of one channel (floats in ±1, quantised to 16 bits as the reader
    // delivers them, then 20 log10 of the magnitude over 32768, clipped to [noise floor, 0]).
    void levelsOf(const float* samples, std::size_t frames, float* levels) const;
    // One level array per channel, `frames` long; groups run across the channels as interleaved.
    void add(const float* const* levels, std::size_t frames);
    // The tail of fewer than samplesPerPixel samples becomes one last value, their mean.
    void finish();
    std::vector<float>& levels() { return levels_; }
    float sampleMax() const { return sampleMax_; }

private:
    void flush();

    std::size_t samplesPerPixel_;
    std::uint32_t channels_;
    float noiseFloor_;
    double sum_ = 0.0;
    std::size_t count_ = 0;
    std::vector<float> levels_;
    float sampleMax_;
};

} // namespace vantle
