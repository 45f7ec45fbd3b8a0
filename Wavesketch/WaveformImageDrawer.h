#pragma once
// Turns amplitude values, or an audio file through the analyzer, into a picture (QImage) with the
// configuration's size check, fading of the ends, background and antialiasing; and draws a live, growing
// list of values into a painter the caller owns, keeping stripes fixed to the audio while it scrolls.
// Live drawing changes the drawer: one thread (the view's) at a time. Images may be made on any thread.

#include "Wavesketch/TaskPool.h"
#include "Wavesketch/Waveform.h"
#include "Wavesketch/WaveformRenderer.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <QImage>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class QPainter;

namespace wavesketch {

class WaveformImageDrawer {
public:
    // Codes of the drawer's own errors, in errorDomain; the analyzer's errors pass through unchanged.
    enum class GenerationError : int { generic = 1 }; // no image could be made from the analysed values
    static constexpr const char* errorDomain = "wavesketch.WaveformImageDrawer";

    using CompletionHandler = std::function<void(platform::Result<QImage>)>;

    // Live drawing: fill the columns not yet covered by values with silence, and draw even without values.
    bool shouldDrawSilencePadding() const { return shouldDrawSilencePadding_; }
    void setShouldDrawSilencePadding(bool pad) { shouldDrawSilencePadding_ = pad; }

    // An image of Int(width · scale) × Int(height · scale) pixels (device pixel ratio `scale`), with y = 0
    // at its bottom edge as the renderers see it; none, after a line on standard output, unless there is
    // exactly one value per pixel column. Stripes keep the scroll offset of the moment the image is made.
    std::optional<QImage> waveformImage(std::span<const float> samples,
                                        const Waveform::Configuration& configuration,
                                        const WaveformRenderer& renderer, Waveform::Position position) const;
    // Analyses the file (noise floor -50 dB) for one value per pixel column, then makes the image.
    std::future<platform::Result<QImage>> waveformImage(const platform::Url& audioURL,
                                                        const Waveform::Configuration& configuration,
                                                        std::shared_ptr<const WaveformRenderer> renderer,
                                                        Waveform::Position position,
                                                        QualityOfService qos) const;
    // The same, handing the result to `completionHandler` once, on the analysing thread; returns at once.
    void waveformImage(const platform::Url& audioURL, const Waveform::Configuration& configuration,
                       std::shared_ptr<const WaveformRenderer> renderer, Waveform::Position position,
                       QualityOfService qos, CompletionHandler completionHandler) const;

    // Draws the newest values that fit the width, at the right edge when padding; a shorter list than the
    // previous call's restarts the scroll. Without values and without padding nothing is drawn at all.
    void draw(std::span<const float> waveform, QPainter& context,
              const Waveform::Configuration& configuration, const WaveformRenderer& renderer,
              Waveform::Position position);

private:
    bool shouldDrawSilencePadding_ = false;
    std::int64_t lastOffset_ = 0;
    std::int64_t lastSampleCount_ = 0;
};

// The values with the ends faded towards silence (1) after the configuration's damping; unchanged without
// one or at a percentage of 0.
std::vector<float> dampedValues(std::span<const float> values, const Waveform::Configuration& configuration);

// Writes the image as PNG through a temporary file, so that a failure leaves an earlier file in place.
platform::Result<void> writePNG(const QImage& image, const platform::Url& url);

} // namespace wavesketch
