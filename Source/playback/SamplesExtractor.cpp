#include "Source/playback/SamplesExtractor.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vantle {
namespace {

std::atomic<float> extractorNoiseFloor{-50.0f};

constexpr std::uint32_t extractorReadFrames = 16384;

platform::Error extractorError(SamplesExtractorError code, std::string message) {
    return platform::Error::make(samplesExtractorErrorDomain, std::move(message), int(code));
}

} // namespace

void SamplesExtraction::cancel() {
    cancelled_.store(true, std::memory_order_release);
}

float SamplesExtractor::noiseFloor() {
    return extractorNoiseFloor.load(std::memory_order_relaxed);
}
void SamplesExtractor::setNoiseFloor(float decibels) {
    extractorNoiseFloor.store(decibels, std::memory_order_relaxed);
}

SampleReducer::SampleReducer(std::size_t samplesPerPixel, std::uint32_t channels, float noiseFloor)
    : samplesPerPixel_(std::max<std::size_t>(1, samplesPerPixel)),
      channels_(std::max<std::uint32_t>(1, channels)), noiseFloor_(noiseFloor),
      sampleMax_(-std::numeric_limits<float>::infinity()) {}

void SampleReducer::levelsOf(const float* samples, std::size_t frames, float* levels) const {
    // A logarithm per sample would cost more than decoding the file: the level is computed four samples
    // at a time from the float's exponent and a short series for the mantissa's logarithm,
    // ln m = 2 atanh((m − 1)/(m + 1)), whose argument stays below 1/3, so six terms reach float precision.
    constexpr float roundingShift = 12582912.0f; // 1.5 × 2^23: adding and taking it away rounds to nearest
    constexpr float decibelsPerOctave = 6.0205999f, log2e = 1.44269504f;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128 scale = _mm_set1_ps(32768.0f), low = _mm_set1_ps(-32768.0f), high = _mm_set1_ps(32767.0f);
    const __m128 shift = _mm_set1_ps(roundingShift), one = _mm_set1_ps(1.0f), two = _mm_set1_ps(2.0f);
    const __m128 magnitudeMask = _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF));
    const __m128i mantissaMask = _mm_set1_epi32(0x7FFFFF), unitExponent = _mm_set1_epi32(0x3F800000);
    const __m128i bias = _mm_set1_epi32(127);
    const __m128 floor = _mm_set1_ps(noiseFloor_), zero = _mm_setzero_ps();
    for (; i + 4 <= frames; i += 4) {
        __m128 x = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(samples + i), scale), low), high);
        x = _mm_and_ps(_mm_sub_ps(_mm_add_ps(x, shift), shift), magnitudeMask);
        const __m128i bits = _mm_castps_si128(x);
        const __m128 exponent = _mm_cvtepi32_ps(_mm_sub_epi32(_mm_srli_epi32(bits, 23), bias));
        const __m128 m = _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, mantissaMask), unitExponent));
        const __m128 t = _mm_div_ps(_mm_sub_ps(m, one), _mm_add_ps(m, one)), t2 = _mm_mul_ps(t, t);
        __m128 series = _mm_set1_ps(1.0f / 11);
        for (float term : {1.0f / 9, 1.0f / 7, 1.0f / 5, 1.0f / 3, 1.0f})
            series = _mm_add_ps(_mm_mul_ps(series, t2), _mm_set1_ps(term));
        const __m128 ln = _mm_mul_ps(_mm_mul_ps(two, t), series);
        __m128 level =
            _mm_add_ps(exponent, _mm_sub_ps(_mm_mul_ps(ln, _mm_set1_ps(log2e)), _mm_set1_ps(15.0f)));
        level = _mm_mul_ps(level, _mm_set1_ps(decibelsPerOctave));
        _mm_storeu_ps(levels + i, _mm_min_ps(_mm_max_ps(level, floor), zero));
    }
#endif
    for (; i < frames; ++i) {
        const float scaled = std::clamp(samples[i] * 32768.0f, -32768.0f, 32767.0f);
        const float magnitude = std::fabs((scaled + roundingShift) - roundingShift);
        std::uint32_t bits;
        std::memcpy(&bits, &magnitude, sizeof bits);
        const float exponent = float(int(bits >> 23) - 127);
        const std::uint32_t mantissaBits = (bits & 0x7FFFFFu) | 0x3F800000u;
        float m;
        std::memcpy(&m, &mantissaBits, sizeof m);
        const float t = (m - 1.0f) / (m + 1.0f), t2 = t * t;
        float series = 1.0f / 11;
        for (float term : {1.0f / 9, 1.0f / 7, 1.0f / 5, 1.0f / 3, 1.0f})
            series = series * t2 + term;
        const float level = decibelsPerOctave * (exponent + ((2.0f * t * series) * log2e - 15.0f));
        levels[i] = std::clamp(level, noiseFloor_, 0.0f);
    }
}

void SampleReducer::add(const float* const* levels, std::size_t frames) {
    const std::size_t channels = channels_, total = frames * channels;
    // The frames of channel c whose interleaved index lies before `index`.
    auto framesBefore = [channels](std::size_t index, std::size_t c) {
        return index <= c ? std::size_t(0) : (index - c + channels - 1) / channels;
    };
    std::size_t at = 0;
    while (at < total) {
        const std::size_t take = std::min(total - at, samplesPerPixel_ - count_);
        double sum = 0.0;
        for (std::size_t c = 0; c < channels; ++c) {
            const float* level = levels[c];
            const std::size_t from = framesBefore(at, c), to = framesBefore(at + take, c);
            // Four running sums, so that the additions need not wait for one another.
            double sums[4] = {0.0, 0.0, 0.0, 0.0};
            std::size_t f = from;
            for (; f + 4 <= to; f += 4)
                for (std::size_t k = 0; k < 4; ++k)
                    sums[k] += double(level[f + k]);
            for (; f < to; ++f)
                sums[0] += double(level[f]);
            sum += (sums[0] + sums[1]) + (sums[2] + sums[3]);
        }
        sum_ += sum;
        count_ += take;
        at += take;
        if (count_ == samplesPerPixel_) flush();
    }
}

void SampleReducer::flush() {
    const float mean = float(sum_ / double(count_));
    sampleMax_ = std::max(sampleMax_, mean);
    levels_.push_back(mean);
    sum_ = 0.0;
    count_ = 0;
}

void SampleReducer::finish() {
    if (count_ > 0) flush();
}

std::shared_ptr<SamplesExtraction> SamplesExtractor::extractSamples(const std::string& path,
                                                                    int desiredNumberOfSamples,
                                                                    Success onSuccess, Failure onFailure,
                                                                    Identifier identifier) {
    auto extraction = std::make_shared<SamplesExtraction>();
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) {
        const platform::Error& error = opened.error();
        if (error.domain == platform::audioFileErrorDomain &&
            error.code == int(platform::AudioFileError::noAudioTrack))
            onFailure(extractorError(SamplesExtractorError::audioTrackMediaTypeMissMatch, error.message),
                      identifier);
        else
            onFailure(error, identifier);
        return extraction;
    }
    if (desiredNumberOfSamples <= 0) {
        onFailure(
            extractorError(SamplesExtractorError::extractionHasFailed, "no waveform values were asked for"),
            identifier);
        return extraction;
    }
    std::shared_ptr<platform::AudioFile> file = std::move(opened).value();
    platform::globalQueue().async([file, extraction, desiredNumberOfSamples, onSuccess = std::move(onSuccess),
                                   onFailure = std::move(onFailure), identifier = std::move(identifier)] {
        const std::uint32_t channels = std::max<std::uint32_t>(1, file->processingFormat().channelCount());
        const double frames = double(file->length());
        const auto samplesPerPixel =
            std::size_t(std::max(1.0, double(channels) * frames / double(desiredNumberOfSamples)));
        SampleReducer reducer(samplesPerPixel, channels, noiseFloor());
        reducer.levels().reserve(std::size_t(desiredNumberOfSamples) + 1);
        std::optional<platform::Error> failure;
        // The file's planar float buffers, read and reduced in turn: nothing is interleaved or copied.
        std::shared_ptr<platform::PcmBuffer> buffer =
            platform::PcmBuffer::make(file->processingFormat(), extractorReadFrames);
        std::vector<float> levels(std::size_t(extractorReadFrames) * channels);
        std::vector<const float*> levelChannels(channels);
        for (std::uint32_t c = 0; c < channels; ++c)
            levelChannels[c] = levels.data() + std::size_t(c) * extractorReadFrames;
        if (!buffer) failure = extractorError(SamplesExtractorError::readingError, "out of memory");
        while (buffer && !failure) {
            if (extraction->isCancelled()) return;
            if (auto read = file->read(*buffer); !read) {
                failure = extractorError(SamplesExtractorError::readingError,
                                         " reading waveform audio data has failed " + read.error().message);
                break;
            }
            const std::uint32_t n = buffer->frameLength();
            if (n == 0) break;
            for (std::uint32_t c = 0; c < channels; ++c)
                reducer.levelsOf(buffer->channel(c), n, levels.data() + std::size_t(c) * extractorReadFrames);
            reducer.add(levelChannels.data(), n);
        }
        reducer.finish();
        std::vector<float> values = std::move(reducer.levels());
        const float sampleMax = reducer.sampleMax();
        platform::mainQueue().async([extraction, failure, values = std::move(values), sampleMax, onSuccess,
                                     onFailure, identifier]() mutable {
            if (extraction->isCancelled()) return;
            if (failure) return onFailure(*failure, identifier);
            const float floor = noiseFloor();
            for (float& v : values)
                v /= floor;
            onSuccess(std::move(values), sampleMax, identifier);
        });
    });
    return extraction;
}

} // namespace vantle
