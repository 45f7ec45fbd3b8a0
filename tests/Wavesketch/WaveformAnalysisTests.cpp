#include "Wavesketch/SketchFFT.h"
#include "Wavesketch/WaveformAnalyzer.h"
#include "platform/foundation/Console.h"
#include "tests/Wavesketch/WavesketchTestSupport.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/Signals.h"

#include <gtest/gtest.h>

#include <latch>
#include <numeric>
#include <thread>

namespace testsupport {
namespace {

using platform::Url;
using wavesketch::QualityOfService;
using wavesketch::SketchFFT;
using wavesketch::WaveformAnalyzer;
using AnalyzeError = WaveformAnalyzer::AnalyzeError;

// A tone fading from -8 dB to far below the floor, so that the values span [0, 1].
Channels fadingTone(std::int64_t frames, std::uint32_t channels) {
    Channels out = fixtures::tone(frames, channels, 44100.0, 0.4f);
    for (auto& channel : out)
        for (std::size_t i = 0; i < channel.size(); ++i)
            channel[i] *= float(std::exp(-10.0 * double(i) / double(frames)));
    return out;
}

platform::Result<std::vector<float>> analyse(const std::string& path, std::int64_t count,
                                             WaveformAnalyzer analyzer = {}) {
    return analyzer.samples(Url::fileURLWithPath(path), count, QualityOfService::utility).get();
}

// Computed plainly from the decoded samples, channels interleaved: per run of samples the mean of the
// levels in dB on the 16-bit scale, clipped to [-50, 0], divided by -50; runs past the end are silence.
std::vector<float> referenceAmplitudes(const std::string& path, std::int64_t count) {
    const Channels channels = fixtures::readToEnd(*platform::AudioFile::openForReading(path).value());
    const auto total = std::int64_t(channels.size() * channels[0].size());
    const std::int64_t perPixel = std::max<std::int64_t>(1, total / count);
    std::vector<float> out;
    for (std::int64_t j = 0; j < count; ++j) {
        double sum = 0.0;
        for (std::int64_t i = j * perPixel; i < (j + 1) * perPixel; ++i) {
            const std::size_t c = channels.size();
            const double x = i < total ? std::fabs(channels[std::size_t(i) % c][std::size_t(i) / c]) : 0.0;
            sum += std::clamp(20.0 * std::log10(x * 32768.0 / 32767.0), -50.0, 0.0);
        }
        out.push_back(float(sum / double(perPixel) / -50.0));
    }
    return out;
}

TEST(WaveformAnalyzer, ValuesAreTheMeanDecibelLevelsOfTheDecodedSamples) {
    fixtures::TempFolder dir;
    const std::tuple<const char*, int, std::uint32_t, std::int64_t, std::int64_t> cases[] = {
        {"mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 1000, 10},
        {"stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 333},
        {"short.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 25, 80},
        {"tone.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 2, 44100, 100},
        {"tone.m4a", 0, 2, 44100, 100}}; // format 0: AAC through FFmpeg
    for (const auto& [name, format, channels, frames, count] : cases) {
        const std::string path = dir.file(name);
        const Channels source = fadingTone(frames, channels);
        ASSERT_TRUE(format ? writeWithSndfile(path, format, source, 44100)
                           : fixtures::writeAac(path, source, 44100));
        const auto values = analyse(path, count);
        ASSERT_TRUE(values.ok()) << values.error().message;
        const auto reference = referenceAmplitudes(path, count);
        ASSERT_EQ(values->size(), reference.size());
        for (std::size_t i = 0; i < reference.size(); ++i)
            EXPECT_NEAR((*values)[i], reference[i], 1e-5) << name << " " << i;
        EXPECT_TRUE(values->front() > 0.05f && values->back() == 1.0f) << name; // the fade spans the range
    }
}

TEST(WaveformAnalyzer, FullScaleIsZeroTheFloorIsOneAndBothFormsAgree) {
    fixtures::TempFolder dir;
    std::vector<float> samples;
    for (double level : {1.0, std::pow(10.0, -25.0 / 20.0) * 32767.0 / 32768.0, 0.0})
        for (int i = 0; i < 100; ++i)
            samples.push_back(float(i % 2 ? level : -level));
    ASSERT_TRUE(writeWithSndfile(dir.file("levels.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, {samples}, 44100));
    const auto values = analyse(dir.file("levels.wav"), 3);
    EXPECT_NEAR((*values)[0], 0.0f, 1e-6);
    EXPECT_NEAR((*values)[1], 0.5f, 1e-6);
    EXPECT_EQ((*values)[2], 1.0f);
    // The completion form calls back once (a second call would throw), on the analysing thread.
    std::promise<std::pair<std::vector<float>, std::thread::id>> called;
    WaveformAnalyzer().samples(Url::fileURLWithPath(dir.file("levels.wav")), 3, QualityOfService::background,
                               [&](platform::Result<std::vector<float>> result) {
                                   called.set_value({*result, std::this_thread::get_id()});
                               });
    const auto [again, thread] = called.get_future().get();
    EXPECT_EQ(again, *values);
    EXPECT_NE(thread, std::this_thread::get_id());

    WaveformAnalyzer analyzer;
    for (float refused : {0.0f, 3.0f, -0.5f, -701.0f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_FALSE(analyzer.setNoiseFloorDecibelCutoff(refused).ok()) << refused;
    EXPECT_EQ(analyzer.noiseFloorDecibelCutoff(), -50.0f);
    ASSERT_TRUE(analyzer.setNoiseFloorDecibelCutoff(-100.0f).ok());
    EXPECT_NEAR((*analyse(dir.file("levels.wav"), 3, analyzer))[1], 0.25f, 1e-6);
}

TEST(WaveformAnalyzer, BadCountsAndFilesGiveErrors) {
    fixtures::TempFolder dir;
    const std::string wav = dir.file("a.wav"), m4a = dir.file("a.m4a"), flac = dir.file("a.flac");
    ASSERT_TRUE(writeWithSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, fadingTone(4410, 1), 44100));
    ASSERT_TRUE(writeWithSndfile(flac, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, fadingTone(176400, 2), 44100));
    ASSERT_TRUE(fixtures::writeAac(m4a, fadingTone(44100, 2), 44100));
    // The M4A file loses its index at the end; the FLAC file's middle is wiped, so reading stops there.
    const platform::Bytes whole = platform::readFile(m4a).value();
    ASSERT_TRUE(platform::writeFileAtomically(m4a, whole.data(), whole.size() / 2).ok());
    platform::Bytes wiped = platform::readFile(flac).value();
    std::fill(wiped.begin() + std::ptrdiff_t(wiped.size() / 4),
              wiped.end() - std::ptrdiff_t(wiped.size() / 4), 0);
    ASSERT_TRUE(platform::writeFileAtomically(flac, wiped).ok());
    // A movie box without a single track.
    ASSERT_TRUE(platform::writeFileAtomically(dir.file("a.mov"), std::string_view("\0\0\0\x08moov", 8)).ok());
    testsupport::ScopedConsoleCapture console;
    const std::tuple<std::string, std::int64_t, const char*, int> cases[] = {
        {wav, 0, WaveformAnalyzer::errorDomain, int(AnalyzeError::userError)},
        {wav, WaveformAnalyzer::maximumCount + 1, WaveformAnalyzer::errorDomain,
         int(AnalyzeError::userError)},
        {dir.file("a.mov"), 10, WaveformAnalyzer::errorDomain, int(AnalyzeError::emptyTracks)},
        {dir.file("none.wav"), 10, platform::audioFileErrorDomain, int(platform::AudioFileError::notFound)},
        {m4a, 10, platform::audioFileErrorDomain, int(platform::AudioFileError::unreadable)},
        {flac, 10, WaveformAnalyzer::errorDomain, int(AnalyzeError::readerError)}};
    for (const auto& [path, count, domain, code] : cases) {
        const auto values = analyse(path, count);
        ASSERT_FALSE(values.ok()) << path << " " << count;
        EXPECT_EQ(std::pair(values.error().domain, values.error().code),
                  std::pair(std::string(domain), code));
    }
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_EQ(console.lines()[0].rfind("ERROR: reading waveform audio data has failed Cannot decode", 0), 0u);
}

TEST(SketchFFT, ASineShowsAsThePowerOfItsBinScaledByTheWindowsMean) {
    for (std::int64_t size : {0, 1, 3, 4095, 1 << 21}) // sizes that are no power of two in [2, 2^20]
        EXPECT_EQ(SketchFFT::make(size, 44100.0f), nullptr) << size;
    EXPECT_FALSE(wavesketch::sketchFFTWindowType(5) || wavesketch::sketchFFTWindowType(-1));
    const auto tone = sine(4096, 100 * 44100.0 / 4096.0, 44100.0, 0.25);
    for (const auto& [raw, mean] :
         {std::pair(0, 1.0), std::pair(1, std::sqrt(2.0 / 3.0)), std::pair(2, 0.54)}) {
        auto fft = SketchFFT::make(4096, 44100.0f);
        fft->windowType = *wavesketch::sketchFFTWindowType(raw); // none, Hann, Hamming
        fft->fftForward(tone);
        const auto peak = std::max_element(fft->magnitudes.begin(), fft->magnitudes.end());
        EXPECT_EQ(peak - fft->magnitudes.begin(), 100);
        // The packed transform doubles each bin: (2 · amplitude · N/2 · window mean)².
        EXPECT_NEAR(*peak, std::pow(2.0 * 0.25 * 2048.0 * mean, 2.0), *peak * 1e-3) << raw;
    }
    auto fft = SketchFFT::make(8, 8.0f); // bin 0 holds DC and Nyquist together
    fft->fftForward(std::vector<float>{3, 1, 3, 1, 3, 1, 3, 1});
    EXPECT_FLOAT_EQ(fft->magnitudes[0], 32.0f * 32.0f + 16.0f * 16.0f);
}

TEST(SketchFFT, PowersAreThoseOfTheDoubledPackedTransformAndBandsAverageThem) {
    auto unitSine = SketchFFT::make(4096, 44100.0f);
    unitSine->fftForward(sine(4096, 100 * 44100.0 / 4096.0, 44100.0));
    EXPECT_NEAR(unitSine->magnitudes[100], 16777216.0f, 16777216.0f * 1e-5);
    unitSine->calculateLinearBands(0, 22050, 2048); // one bin a band
    EXPECT_EQ((*unitSine->bandMagnitudes)[100], unitSine->magnitudes[100]);

    auto constant = SketchFFT::make(8, 8.0f);
    constant->fftForward(std::vector<float>(8, 0.5f));
    EXPECT_EQ(constant->magnitudes, (std::vector<float>{64.0f, 0.0f, 0.0f, 0.0f}));
    constant->calculateLinearBands(0, 2, 1); // bins 0 and 1: (64 + 0) / 2
    EXPECT_EQ(*constant->bandMagnitudes, std::vector<float>{32.0f});
}

TEST(SketchFFT, LinearBandsAverageEqualRangesOfBins) {
    auto fft = SketchFFT::make(4096, 44100.0f);
    fft->calculateLinearBands(0, 22050, 4); // before any transform: ignored
    EXPECT_FALSE(fft->bandMagnitudes);
    fft->fftForward(noise(4096, 3));
    for (float top : {22050.0f, 30000.0f}) { // the top is at most the Nyquist frequency
        fft->calculateLinearBands(0, top, 4);
        EXPECT_EQ(*fft->bandFrequencies, (std::vector<float>{2756.25f, 8268.75f, 13781.25f, 19293.75f}));
        for (std::size_t band = 0; band < 4; ++band) {
            const auto from = fft->magnitudes.begin() + std::ptrdiff_t(band * 512);
            EXPECT_NEAR((*fft->bandMagnitudes)[band], std::accumulate(from, from + 512, 0.0) / 512.0,
                        (*fft->bandMagnitudes)[band] * 1e-4);
        }
        EXPECT_EQ(std::pair(*fft->bandMinFreq, *fft->bandMaxFreq), std::pair(2756.25f, 19293.75f));
    }
    fft->calculateLinearBands(22050, 22050, 1); // the last bin, not one past it
    EXPECT_EQ((*fft->bandMagnitudes)[0], fft->magnitudes.back());
}

TEST(TaskPool, RunsWaitingTasksHighestPriorityFirstAndInOrderAmongEquals) {
    using Qos = wavesketch::QualityOfService;
    std::vector<int> order; // one thread: the tasks run one after the other
    {
        wavesketch::TaskPool pool(1);
        std::latch started(1), release(1);
        pool.run({}, [&] {
            started.count_down();
            release.wait();
        });
        started.wait();
        for (int i = 0; i < 6; ++i) // from background to unspecified
            pool.run(wavesketch::taskPriority(Qos(i)), [&, i] { order.push_back(i); });
        release.count_down();
    }
    EXPECT_EQ(order, (std::vector<int>{3, 4, 2, 5, 1, 0}));
}

} // namespace
} // namespace testsupport
