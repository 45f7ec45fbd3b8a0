#pragma once
// Reduces an audio file to a fixed number of amplitude values, one per pixel column of a picture: each the
// mean level of its stretch of samples in decibels, as a share of the noise floor, so 0 is full scale and 1
// at or below the floor. Analyses run as tasks of the package's pool; the analyzer value may be used from
// any thread, one at a time. No Qt.

#include "Wavesketch/TaskPool.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstdint>
#include <functional>
#include <future>
#include <vector>

namespace wavesketch {

class WaveformAnalyzer {
public:
    // Codes of the analyzer's own errors, in errorDomain. Failures to open the file are the audio-file
    // reader's errors, passed on unchanged.
    enum class AnalyzeError : int {
        readerError = 1, // reading stopped early; the message is the reader's
        generic,         // the analysis could not be done at all (no memory, say)
        userError,       // a count of 0 or less, or above maximumCount
        emptyTracks,     // the file has no audio track
        invalidNoiseFloor,
    };
    static constexpr const char* errorDomain = "wavesketch.WaveformAnalyzer";
    static constexpr std::int64_t maximumCount = std::int64_t(1) << 26;

    using Amplitudes = std::vector<float>;
    using CompletionHandler = std::function<void(platform::Result<Amplitudes>)>;

    // The level treated as silence, in dB; -50 at first.
    float noiseFloorDecibelCutoff() const { return noiseFloorDecibelCutoff_; }
    // Refuses, keeping the current value, anything but a finite level from -700 dB to -1 dB: at 0 or above
    // the values would not be shares of the floor.
    platform::Result<void> setNoiseFloorDecibelCutoff(float decibels);

    // Exactly `count` values in [0, 1], or an error. The samples of all channels are taken together in
    // their interleaved order; a file shorter than its stated length is completed with silence.
    std::future<platform::Result<Amplitudes>> samples(const platform::Url& audioURL, std::int64_t count,
                                                      QualityOfService qos) const;
    // The same, handing the result to `completionHandler` once, on the analysing thread; returns at once.
    void samples(const platform::Url& audioURL, std::int64_t count, QualityOfService qos,
                 CompletionHandler completionHandler) const;

private:
    float noiseFloorDecibelCutoff_ = -50.0f;
};

} // namespace wavesketch
