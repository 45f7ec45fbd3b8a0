// The waveform's sample extraction: counts and levels against a reference computed here from the
// decoded samples, the edge cases of the reduction, and the failure paths.
#include "Source/playback/SamplesExtractor.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using vantle::SamplesExtractor;

struct Extracted {
    std::optional<std::vector<float>> values;
    float sampleMax = 0;
    std::optional<platform::Error> error;
    bool failedBeforeReturn = false;
    SamplesExtractor::Identifier identifier;
};

Extracted extract(const std::string& path, int wanted,
                  SamplesExtractor::Identifier identifier = std::nullopt) {
    // Before the extractor's thread can post to the main queue first and be taken for the main thread.
    platform::mainQueue().bindToCurrentThread();
    Extracted out;
    bool returned = false, done = false;
    SamplesExtractor::extractSamples(
        path, wanted,
        [&](std::vector<float> values, float sampleMax, const SamplesExtractor::Identifier& id) {
            out.values = std::move(values);
            out.sampleMax = sampleMax;
            out.identifier = id;
            done = true;
        },
        [&](const platform::Error& error, const SamplesExtractor::Identifier& id) {
            out.error = error;
            out.identifier = id;
            out.failedBeforeReturn = !returned;
            done = true;
        },
        identifier);
    returned = true;
    EXPECT_TRUE(platform::mainQueue().drainUntil([&] { return done; }, 120.0));
    return out;
}

// The extraction's arithmetic, written plainly over decoded interleaved samples.
std::pair<std::vector<float>, float> reference(const std::vector<float>& interleaved, int wanted) {
    const auto perPixel = std::size_t(std::max(1.0, double(interleaved.size()) / wanted));
    std::vector<float> values;
    float sampleMax = -std::numeric_limits<float>::infinity();
    for (std::size_t at = 0; at < interleaved.size(); at += perPixel) {
        const std::size_t end = std::min(interleaved.size(), at + perPixel);
        double sum = 0;
        for (std::size_t i = at; i < end; ++i) {
            const double q = std::clamp(std::nearbyint(interleaved[i] * 32768.0), -32768.0, 32767.0);
            sum += std::clamp(20.0 * std::log10(std::fabs(q) / 32768.0), -50.0, 0.0);
        }
        const auto level = float(sum / double(end - at));
        sampleMax = std::max(sampleMax, level);
        values.push_back(level / -50.0f);
    }
    return {values, sampleMax};
}

TEST(SamplesExtractorTest, AFiveMinuteMp3GivesTheLevelsOfItsDecodedSamples) {
    testsupport::TemporaryFolder folder;
    const std::string path = folder.file("five.mp3");
    const int rate = 22050;
    const std::size_t frames = std::size_t(rate) * 300;
    // A tone whose loudness swells and fades, so that the values differ along the file.
    std::vector<float> left(frames), right(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double swell = 0.5 + 0.45 * std::sin(2 * M_PI * double(i) / (rate * 20.0));
        left[i] = float(swell * std::sin(2 * M_PI * 330.0 * double(i) / rate));
        right[i] = 0.5f * left[i];
    }
    ASSERT_TRUE(
        testsupport::writeWithSndfile(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, {left, right}, rate));

    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    ASSERT_NE(file, nullptr);
    std::vector<float> decoded(std::size_t(info.frames) * std::size_t(info.channels));
    decoded.resize(std::size_t(sf_readf_float(file, decoded.data(), info.frames)) *
                   std::size_t(info.channels));
    sf_close(file);

    for (int wanted : {800, 1337}) {
        const auto [values, sampleMax] = reference(decoded, wanted);
        const Extracted got = extract(path, wanted);
        ASSERT_TRUE(got.values) << wanted;
        ASSERT_EQ(got.values->size(), values.size()) << wanted;
        EXPECT_NEAR(got.sampleMax, sampleMax, 1e-4);
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_NEAR((*got.values)[i], values[i], 1e-5) << "value " << i << " of " << wanted;
    }
}

TEST(SamplesExtractorTest, ReductionEdgeCases) {
    testsupport::TemporaryFolder folder;
    struct Case {
        const char* name;
        std::size_t frames;
        float sample;
        int wanted;
        std::size_t count;
        float value, sampleMax;
    };
    const Case cases[] = {
        {"10 s stereo in 882 values, no tail", 441000, 0.25f, 882, 882, 12.0412f / 50, -12.0412f},
        {"10 s stereo in 1000 values", 441000, 0.25f, 1000, 1000, 12.0412f / 50, -12.0412f},
        {"more values than samples", 40, 0.25f, 500, 80, 12.0412f / 50, -12.0412f},
        {"a tail of fewer samples", 1000, 0.25f, 3, 4, 12.0412f / 50, -12.0412f},
        {"digital silence", 4400, 0.0f, 100, 100, 1.0f, -50.0f},
        {"full-scale negative samples", 4400, -1.0f, 100, 100, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        const std::string path = folder.file(std::string(c.name) + ".wav");
        ASSERT_TRUE(testsupport::writeWithSndfile(
            path, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
            testsupport::Channels(2, std::vector<float>(c.frames, c.sample)), 44100));
        const Extracted got = extract(path, c.wanted, std::string(c.name));
        ASSERT_TRUE(got.values) << c.name;
        EXPECT_EQ(got.values->size(), c.count) << c.name;
        EXPECT_NEAR(got.values->back(), c.value, 1e-4) << c.name;
        EXPECT_NEAR(got.sampleMax, c.sampleMax, 1e-3) << c.name;
        EXPECT_EQ(got.identifier, std::optional<std::string>(c.name));
    }
}

TEST(SamplesExtractorTest, FailuresReachTheFailureCallbackBeforeTheCallReturns) {
    testsupport::TemporaryFolder folder;
    const std::string tone = folder.file("tone.wav");
    ASSERT_TRUE(testsupport::writeSineFile(tone, 0.1, 440.0));
    for (const auto& [path, wanted] : {std::pair{folder.file("missing.wav"), 10}, {tone, 0}, {tone, -3}}) {
        const Extracted got = extract(path, wanted);
        EXPECT_TRUE(got.error && got.failedBeforeReturn && !got.values && !got.identifier)
            << path << " " << wanted;
    }
}

} // namespace
