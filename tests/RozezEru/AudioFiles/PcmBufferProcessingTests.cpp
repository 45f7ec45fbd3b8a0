#include "RozezEru/AudioFiles/PcmBufferProcessing.h"
#include "RozezEru/AudioFiles/PcmBufferUtilities.h"

#include "platform/audio/PcmBuffer.h"

#include "tests/support/TapRig.h"
#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using testsupport::ToolkitLogCapture;
using Texts = std::vector<std::string>;

namespace {

std::shared_ptr<platform::PcmBuffer> processingBuffer(std::uint32_t frames, std::uint32_t channels,
                                                      float value, double rate = 44100.0) {
    return testsupport::pcmBuffer(std::vector(channels, std::vector<float>(frames, value)), 0, rate);
}

} // namespace

TEST(PcmBufferProcessing, PeakFindsTheFirstLoudestBlock) {
    auto buffer = processingBuffer(1000, 1, 0.1f);
    buffer->channel(0)[700] = 0.8f;
    auto found = rozezeru::peak(*buffer);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::tuple(found->amplitude, found->framePosition, found->time),
              std::tuple(0.8f, std::int64_t(512), 512 / 44100.0));

    // One block; negative samples count by their size; not-a-number never wins.
    auto small = processingBuffer(100, 2, 0.0f);
    small->channel(1)[40] = -0.9f;
    small->channel(0)[41] = std::nanf("");
    found = rozezeru::peak(*small);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::pair(found->framePosition, found->amplitude), std::pair(std::int64_t(0), 0.9f));

    // Equal blocks: the earlier one.
    auto twice = processingBuffer(2048, 2, 0.0f);
    twice->channel(1)[600] = 0.5f;
    twice->channel(0)[1500] = -0.5f;
    EXPECT_EQ(rozezeru::peak(*twice).value().framePosition, 512);

    EXPECT_FALSE(rozezeru::peak(*processingBuffer(0, 2, 0.0f)));
    const auto int16 = *platform::AudioFormat::make(platform::CommonFormat::pcmInt16, 44100.0, 2, false);
    auto integers = platform::PcmBuffer::make(int16, 10);
    integers->setFrameLength(10);
    EXPECT_FALSE(rozezeru::peak(*integers));
    EXPECT_EQ(rozezeru::Peak{}.amplitude, 1.0f);
}

TEST(PcmBufferProcessing, FadesShapeBothEndsOfACopy) {
    const std::shared_ptr<const platform::PcmBuffer> second = processingBuffer(44100, 2, 0.5f);
    {
        ToolkitLogCapture capture;
        EXPECT_EQ(rozezeru::fade(second, 0.0, 0.0), second);
        EXPECT_EQ(capture.contents("PcmBufferProcessing.cpp", "fade(inTime:outTime:linearRamp:)"),
                  Texts{"Error fading buffer, returning original..."});
    }

    // Exponential: from 0.01 · 10^(1/M) up to 0.1, full level in the middle, down to 0.04.
    const auto faded = rozezeru::fade(second, 0.25, 0.25);
    ASSERT_TRUE(faded && faded != second);
    EXPECT_EQ(faded->frameLength(), 44100u);
    const double m = 11025.0;
    for (std::uint32_t c = 0; c < 2; ++c) {
        EXPECT_NEAR(faded->channel(c)[0], 0.5 * 0.01 * std::pow(10.0, 1.0 / m), 1e-7);
        EXPECT_NEAR(faded->channel(c)[11024], 0.5 * 0.1, 1e-5);
        EXPECT_EQ(std::pair(faded->channel(c)[11025], faded->channel(c)[33074]), std::pair(0.5f, 0.5f));
        EXPECT_NEAR(faded->channel(c)[33075], 0.5 * std::pow(0.04, 1.0 / m), 1e-6);
        EXPECT_NEAR(faded->channel(c)[44099], 0.5 * 0.04, 1e-5);
    }
    EXPECT_EQ(std::pair(second->channel(0)[0], second->channel(1)[44099]), std::pair(0.5f, 0.5f)) << "kept";

    // Linear: up to full level after 0.99 M frames, down to 0 at the end.
    const auto linear = rozezeru::fade(second, 0.25, 0.25, true);
    EXPECT_NEAR(linear->channel(0)[0], 0.5 * (0.01 + 1.0 / m), 1e-7);
    EXPECT_NEAR(linear->channel(0)[10914], 0.5, 1e-4);
    EXPECT_NEAR(linear->channel(1)[33075], 0.5 * (1.0 - 1.0 / m), 1e-6);
    EXPECT_EQ(std::pair(linear->channel(0)[11000], linear->channel(1)[44099]), std::pair(0.5f, 0.0f));

    // Fades that fill the buffer leave no middle; longer ones are shortened to meet.
    const auto ends = rozezeru::fade(second, 0.5, 0.5, true);
    EXPECT_NEAR(ends->channel(0)[22049], 0.5, 1e-3);
    EXPECT_NEAR(ends->channel(0)[22050], 0.5, 1e-3);
    const auto overlapping = rozezeru::fade(second, 3.0, 1.0, true);
    EXPECT_NEAR(overlapping->channel(0)[33074], 0.5, 1e-3);
    EXPECT_EQ(std::tuple(ends->frameLength(), overlapping->frameLength(), overlapping->channel(0)[44099]),
              std::tuple(44100u, 44100u, 0.0f));

    // One channel, and a fade-in alone.
    const std::shared_ptr<const platform::PcmBuffer> mono = processingBuffer(1000, 1, 1.0f);
    const auto in = rozezeru::fade(mono, 0.01, 0.0, true);
    EXPECT_NEAR(in->channel(0)[0], 0.01 + 1.0 / 441.0, 1e-6);
    EXPECT_NEAR(in->channel(0)[400], 0.01 + 401.0 / 441.0, 1e-5);
    EXPECT_EQ(std::tuple(in->frameLength(), in->channel(0)[441], in->channel(0)[999]),
              std::tuple(1000u, 1.0f, 1.0f));
}

TEST(PcmBufferProcessing, NormalizeScalesACopyToFullLevel) {
    auto half = processingBuffer(300, 2, 0.25f);
    half->channel(1)[100] = -0.5f;
    const std::shared_ptr<const platform::PcmBuffer> source = half;
    const auto normal = rozezeru::normalize(source);
    ASSERT_TRUE(normal && normal != source);
    EXPECT_EQ(std::tuple(normal->frameLength(), normal->channel(0)[0], normal->channel(1)[100],
                         source->channel(0)[0]),
              std::tuple(300u, 0.5f, -1.0f, 0.25f));

    // Silence stays silence, in a copy.
    const std::shared_ptr<const platform::PcmBuffer> quiet = processingBuffer(300, 2, 0.0f);
    const auto still = rozezeru::normalize(quiet);
    ASSERT_TRUE(still && still != quiet);
    EXPECT_TRUE(rozezeru::isAllZeros(*still) && still->frameLength() == 300u);

    ToolkitLogCapture capture;
    const std::shared_ptr<const platform::PcmBuffer> empty = processingBuffer(0, 2, 0.0f);
    EXPECT_EQ(rozezeru::normalize(empty), empty);
    EXPECT_EQ(capture.contents("PcmBufferProcessing.cpp", "normalize()"),
              Texts{"Failed getting peak amplitude, returning original buffer"});
}

TEST(PcmBufferProcessing, ReverseTurnsTheFramesRound) {
    auto buffer = processingBuffer(3, 2, 0.0f);
    auto roomy = platform::PcmBuffer::make(buffer->format(), 8);
    for (std::uint32_t c = 0; c < 2; ++c)
        for (std::uint32_t i = 0; i < 3; ++i)
            roomy->channel(c)[i] = float(i + 1) * (c ? -1.0f : 1.0f);
    roomy->setFrameLength(3);
    const auto reversed = rozezeru::reverse(*roomy);
    ASSERT_NE(reversed, nullptr);
    EXPECT_EQ(std::pair(reversed->frameLength(), reversed->frameCapacity()), std::pair(3u, 8u));
    EXPECT_EQ(std::vector<float>(reversed->channel(0), reversed->channel(0) + 3),
              (std::vector<float>{3, 2, 1}));
    EXPECT_EQ(std::vector<float>(reversed->channel(1), reversed->channel(1) + 3),
              (std::vector<float>{-3, -2, -1}));
    EXPECT_EQ(rozezeru::reverse(*processingBuffer(0, 1, 0.0f))->frameLength(), 0u);
}
