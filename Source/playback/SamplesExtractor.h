#pragma once
// Reduces the audio of a file to one loudness value per point of the waveform picture: 0 loudest,
// 1 at or below the noise floor. The file is decoded once, on a worker thread, and reduced as it is
// read; the result reaches the main queue. Start and cancel on the main thread.

#include "platform/foundation/Result.h"

#include <atomic>
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
    using Success = std::function<void(std::vector<float> samples, float sampleMax, const Identifier& identifier)>;
    using Failure = std::function<void(const platform::Error& error, const Identifier& identifier)>;

    // Lowest level in decibels; also the divisor of the final mapping.
    static float noiseFloor();
    static void setNoiseFloor(float decibels);

    // A file that cannot be opened fails before this returns; every later callback runs on the main
    // queue, unless the extraction was cancelled first. A wish of no values is a failure.
    static std::shared_ptr<SamplesExtraction> extractSamples(const std::string& path, int desiredNumberOfSamples,
                                                             Success onSuccess, Failure onFailure,
                                                             Identifier identifier = std::nullopt);
};

// The reduction of one extraction, fed interleaved 16-bit levels in reading order; exposed so that the
// extraction's arithmetic can be checked without a file.
class SampleReducer {
public:
    SampleReducer(std::size_t samplesPerPixel, float noiseFloor);
    // Samples as floats in ±1, quantised to 16 bits as the reader delivers them.
    void add(float sample) {
        sum_ += level(sample);
        if (++count_ == samplesPerPixel_) flush();
    }
    // The tail of fewer than samplesPerPixel samples becomes one last value, their mean.
    void finish();
    std::vector<float>& levels() { return levels_; }
    float sampleMax() const { return sampleMax_; }

private:
    float level(float sample) const;
    void flush();

    std::size_t samplesPerPixel_;
    float noiseFloor_;
    const std::vector<float>* table_;
    double sum_ = 0.0;
    std::size_t count_ = 0;
    std::vector<float> levels_;
    float sampleMax_;
};

} // namespace vantle
