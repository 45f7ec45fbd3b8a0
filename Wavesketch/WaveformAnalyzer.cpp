#include "Wavesketch/WaveformAnalyzer.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Console.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <exception>
#include <memory>

namespace wavesketch {

namespace {

using platform::Error;
using platform::Result;

Error analyzerError(WaveformAnalyzer::AnalyzeError code, std::string message) {
    return Error::make(WaveformAnalyzer::errorDomain, std::move(message), int(code));
}

// The mean decibel level of each run of `perPixel` samples, taken as they arrive, so that the file is never
// held whole and at most one unfinished pixel is pending.
//
// A sample's level is |x| on the 16-bit scale (full scale 32767) clipped to [floor, 0 dB]. Rather than one
// logarithm per sample, the levels relative to the floor (1 at the floor and below, up to 10^(-floor/20)
// at full scale) are multiplied in eight lanes, whose binary exponents are moved into an integer sum before
// they could overflow; one logarithm per pixel then gives the sum of the levels in decibels. Silence thus
// contributes exactly nothing.
class AnalyzerDecibelMeans {
    static constexpr std::size_t lanes = 8;
    static constexpr std::int64_t laneCount = lanes;

public:
    AnalyzerDecibelMeans(std::int64_t perPixel, float floorDecibels)
        : perPixel_(perPixel), log2Range_(-double(floorDecibels) / 20.0 * std::log2(10.0)),
          range_(float(std::exp2(log2Range_))), toRange_(32768.0f / 32767.0f * range_),
          blocksPerFold_(std::clamp(int(120.0 / log2Range_), 1, 64)) {
        lanes_.fill(1.0f);
    }

    void add(const float* samples, std::int64_t count) {
        while (count > 0) {
            const std::int64_t take = std::min(count, perPixel_ - inPixel_);
            accumulate(samples, take);
            samples += take;
            count -= take;
            inPixel_ += take;
            if (inPixel_ == perPixel_) closePixel();
        }
    }

    // Completes the values with silence up to `count`, as if zeros followed, and keeps the first `count`.
    std::vector<float> finish(std::int64_t count) {
        if (std::int64_t(values_.size()) < count && inPixel_ > 0) closePixel();
        values_.resize(std::size_t(count), 1.0f);
        return std::move(values_);
    }

private:
    void accumulate(const float* s, std::int64_t count) {
        const std::int64_t blocks = count / laneCount;
        exponents_ += multiplyLevels(lanes_, s, blocks, blocksPerFold_, toRange_, range_);
        for (std::int64_t i = blocks * laneCount; i < count; ++i)
            lanes_[std::size_t(i % laneCount)] *=
                std::min(std::max(1.0f, std::fabs(s[i]) * toRange_), range_);
        fold(lanes_);
    }

    // Multiplies the levels of `blocks` runs of eight samples into the lanes, moving the lanes' binary
    // exponents out every `blocksPerFold` runs (before a lane could overflow) and at the end; returns their
    // sum. Written for the vector unit: the lanes in registers (as members they might alias the samples), the
    // clip as its minimum and maximum (NaN gives the floor), the exponents taken with integer vector
    // operations; and kept out of line, where the compiler vectorises it whatever the caller around it.
    [[gnu::noinline]] static std::int64_t multiplyLevels(std::array<float, lanes>& into, const float* s,
                                                         std::int64_t blocks, std::int64_t blocksPerFold,
                                                         float toRange, float range) {
        std::array<float, lanes> acc = into;
        std::array<std::int32_t, lanes> exponents{}; // at most 4096 frames of 64 channels: no overflow
        while (blocks > 0) {
            const std::int64_t run = std::min(blocks, blocksPerFold);
            for (std::int64_t b = 0; b < run; ++b, s += laneCount)
                for (std::size_t l = 0; l < lanes; ++l) {
                    const float y = std::fabs(s[l]) * toRange;
                    const float raised = y > 1.0f ? y : 1.0f;
                    acc[l] *= raised < range ? raised : range;
                }
            for (std::size_t l = 0; l < lanes; ++l) {
                const auto bits = std::bit_cast<std::uint32_t>(acc[l]);
                exponents[l] += std::int32_t(bits >> 23) - 127; // the lanes are positive
                acc[l] = std::bit_cast<float>((bits & 0x007fffffu) | 0x3f800000u);
            }
            blocks -= run;
        }
        into = acc;
        std::int64_t sum = 0;
        for (std::int32_t e : exponents)
            sum += e;
        return sum;
    }

    // Moves each lane's binary exponent into the sum, leaving the lane in [1, 2).
    void fold(std::array<float, lanes>& acc) {
        for (float& lane : acc) {
            const auto bits = std::bit_cast<std::uint32_t>(lane);
            exponents_ += std::int64_t((bits >> 23) & 0xffu) - 127;
            lane = std::bit_cast<float>((bits & 0x007fffffu) | 0x3f800000u);
        }
    }

    void closePixel() {
        double product = 1.0;
        for (float& lane : lanes_) {
            product *= lane;
            lane = 1.0f;
        }
        const double log2Sum = double(exponents_) + std::log2(product);
        // The mean level in dB divided by the floor: 1 at the floor, 0 at full scale.
        const double value = 1.0 - log2Sum / (double(perPixel_) * log2Range_);
        values_.push_back(float(std::clamp(value, 0.0, 1.0)));
        exponents_ = 0;
        inPixel_ = 0;
    }

    const std::int64_t perPixel_;
    const double log2Range_;
    const float range_, toRange_;
    const int blocksPerFold_;
    std::array<float, lanes> lanes_{};
    std::int64_t exponents_ = 0;
    std::int64_t inPixel_ = 0;
    std::vector<float> values_;
};

Result<std::vector<float>> analyzeWaveform(const platform::Url& url, std::int64_t count,
                                           float floorDecibels) {
    auto opened = platform::AudioFile::openForReading(url.path());
    if (!opened) {
        if (opened.error().domain == platform::audioFileErrorDomain &&
            opened.error().code == int(platform::AudioFileError::noAudioTrack))
            return analyzerError(WaveformAnalyzer::AnalyzeError::emptyTracks, opened.error().message);
        return opened.error();
    }
    // More values than any picture has columns would only exhaust the memory.
    if (count <= 0 || count > WaveformAnalyzer::maximumCount)
        return analyzerError(WaveformAnalyzer::AnalyzeError::userError,
                             "The number of waveform values must lie from 1 to " +
                                 std::to_string(WaveformAnalyzer::maximumCount) + ", not " +
                                 std::to_string(count) + ".");
    platform::AudioFile& file = **opened;
    const std::uint32_t channels = file.processingFormat().channelCount();
    const std::int64_t totalSamples = file.length() * channels;
    // Interleaved, so that a pixel's samples are consecutive whatever the channel count.
    auto format = platform::AudioFormat::make(platform::CommonFormat::pcmFloat32,
                                              file.processingFormat().sampleRate(), channels, true);
    auto buffer = platform::PcmBuffer::make(*format, 4096);
    AnalyzerDecibelMeans means(std::max<std::int64_t>(1, totalSamples / count), floorDecibels);
    for (;;) {
        if (auto read = file.read(*buffer); !read) {
            platform::consolePrint("ERROR: reading waveform audio data has failed " + read.error().message);
            return analyzerError(WaveformAnalyzer::AnalyzeError::readerError, read.error().message);
        }
        if (buffer->frameLength() == 0) break;
        means.add(buffer->floatChannelData()[0], std::int64_t(buffer->frameLength()) * channels);
    }
    return means.finish(count);
}

} // namespace

Result<void> WaveformAnalyzer::setNoiseFloorDecibelCutoff(float decibels) {
    if (!(decibels >= -700.0f && decibels <= -1.0f))
        return Error::make(errorDomain, "The noise floor must lie from -700 dB to -1 dB.",
                           int(AnalyzeError::invalidNoiseFloor));
    noiseFloorDecibelCutoff_ = decibels;
    return {};
}

std::future<Result<WaveformAnalyzer::Amplitudes>>
WaveformAnalyzer::samples(const platform::Url& audioURL, std::int64_t count, QualityOfService qos) const {
    auto promise = std::make_shared<std::promise<Result<Amplitudes>>>();
    auto future = promise->get_future();
    samples(audioURL, count, qos,
            [promise](Result<Amplitudes> result) { promise->set_value(std::move(result)); });
    return future;
}

void WaveformAnalyzer::samples(const platform::Url& audioURL, std::int64_t count, QualityOfService qos,
                               CompletionHandler completionHandler) const {
    TaskPool::shared().run(taskPriority(qos), [audioURL, count, floor = noiseFloorDecibelCutoff_,
                                               completionHandler = std::move(completionHandler)] {
        Result<Amplitudes> result = Amplitudes{};
        try {
            result = analyzeWaveform(audioURL, count, floor);
        } catch (const std::exception& failure) { // memory running out, say
            result =
                Error::make(errorDomain, std::string("The waveform cannot be analysed: ") + failure.what(),
                            int(AnalyzeError::generic));
        }
        completionHandler(std::move(result));
    });
}

} // namespace wavesketch
