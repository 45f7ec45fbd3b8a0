#include "Source/playback/SamplesExtractor.h"

#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantle {
namespace {

std::atomic<float> extractorNoiseFloor{-50.0f};

constexpr std::uint32_t extractorReadFrames = 16384;

// The reader delivers 16-bit samples, so every level is one of 32769 values: a table replaces a
// logarithm per sample, which would cost more than the decoding.
const std::vector<float>& decibelTable() {
    static const std::vector<float> table = [] {
        std::vector<float> t(32769);
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = 20.0f * std::log10(float(i) / 32768.0f);
        return t;
    }();
    return table;
}

platform::Error extractorError(SamplesExtractorError code, std::string message) {
    return platform::Error::make(samplesExtractorErrorDomain, std::move(message), int(code));
}

} // namespace

void SamplesExtraction::cancel() { cancelled_.store(true, std::memory_order_release); }

float SamplesExtractor::noiseFloor() { return extractorNoiseFloor.load(std::memory_order_relaxed); }
void SamplesExtractor::setNoiseFloor(float decibels) { extractorNoiseFloor.store(decibels, std::memory_order_relaxed); }

SampleReducer::SampleReducer(std::size_t samplesPerPixel, float noiseFloor)
    : samplesPerPixel_(std::max<std::size_t>(1, samplesPerPixel)), noiseFloor_(noiseFloor), table_(&decibelTable()),
      sampleMax_(-std::numeric_limits<float>::infinity()) {}

float SampleReducer::level(float sample) const {
    const long q = std::clamp(std::lrint(double(sample) * 32768.0), -32768L, 32767L);
    return std::clamp((*table_)[std::size_t(q < 0 ? -q : q)], noiseFloor_, 0.0f);
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

std::shared_ptr<SamplesExtraction> SamplesExtractor::extractSamples(const std::string& path, int desiredNumberOfSamples,
                                                                    Success onSuccess, Failure onFailure,
                                                                    Identifier identifier) {
    auto extraction = std::make_shared<SamplesExtraction>();
    auto opened = platform::AudioFile::openForReading(path);
    if (!opened) {
        const platform::Error& error = opened.error();
        if (error.domain == platform::audioFileErrorDomain && error.code == int(platform::AudioFileError::noAudioTrack))
            onFailure(extractorError(SamplesExtractorError::audioTrackMediaTypeMissMatch, error.message), identifier);
        else
            onFailure(error, identifier);
        return extraction;
    }
    if (desiredNumberOfSamples <= 0) {
        onFailure(extractorError(SamplesExtractorError::extractionHasFailed, "no waveform values were asked for"),
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
        SampleReducer reducer(samplesPerPixel, noiseFloor());
        reducer.levels().reserve(std::size_t(desiredNumberOfSamples) + 1);
        std::optional<platform::Error> failure;
        std::shared_ptr<platform::PcmBuffer> buffer =
            platform::PcmBuffer::make(file->processingFormat(), extractorReadFrames);
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
            const std::uint32_t stride = buffer->stride();
            const float* const* data = buffer->floatChannelData();
            // Interleaved order, as the reader hands them over: a group of samples mixes the channels.
            for (std::uint32_t f = 0; f < n; ++f)
                for (std::uint32_t c = 0; c < channels; ++c)
                    reducer.add(stride == 1 ? data[c][f] : data[0][std::size_t(f) * stride + c]);
        }
        reducer.finish();
        std::vector<float> values = std::move(reducer.levels());
        const float sampleMax = reducer.sampleMax();
        platform::mainQueue().async([extraction, failure, values = std::move(values), sampleMax, onSuccess, onFailure,
                                     identifier]() mutable {
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
