#include "RozezEru/Internals/PcmBufferAppend.h"

#include "platform/audio/PcmBuffer.h"

#include "tests/support/ToolkitLogCapture.h"

#include <gtest/gtest.h>

namespace {

// Sample c of frame i is 100 × c + i + base.
std::unique_ptr<platform::PcmBuffer> appendTestBuffer(const platform::AudioFormat& format,
                                                      std::uint32_t capacity, std::uint32_t length,
                                                      float base) {
    auto buffer = platform::PcmBuffer::make(format, capacity);
    const std::uint32_t stride = buffer->stride();
    for (std::uint32_t b = 0; b < format.bufferCount(); ++b)
        for (std::uint32_t i = 0; i < length; ++i)
            for (std::uint32_t k = 0; k < stride; ++k) {
                const std::uint32_t channel = format.isInterleaved() ? k : b;
                buffer->floatChannelData()[b][i * stride + k] = 100.0f * float(channel) + float(i) + base;
            }
    buffer->setFrameLength(length);
    return buffer;
}

float appendTestSample(const platform::PcmBuffer& buffer, std::uint32_t channel, std::uint32_t frame) {
    if (buffer.format().isInterleaved())
        return buffer.floatChannelData()[0][frame * buffer.stride() + channel];
    return buffer.channel(channel)[frame];
}

} // namespace

TEST(PcmBufferAppend, CopiesEveryChannelBehindTheValidFrames) {
    const auto layouts = {*platform::AudioFormat::standard(44100.0, 1),
                          *platform::AudioFormat::standard(44100.0, 2),
                          *platform::AudioFormat::standard(44100.0, 4),
                          *platform::AudioFormat::make(platform::CommonFormat::pcmFloat32, 44100.0, 3, true)};
    for (const auto& format : layouts) {
        auto buffer = appendTestBuffer(format, 10, 4, 0.0f);
        auto source = appendTestBuffer(format, 8, 8, 1000.0f);
        ASSERT_TRUE(rozezeru::append(*buffer, *source, 2, 5)) << format.description();
        EXPECT_EQ(buffer->frameLength(), 9u);
        for (std::uint32_t c = 0; c < format.channelCount(); ++c) {
            EXPECT_EQ(appendTestSample(*buffer, c, 3), 100.0f * float(c) + 3.0f) << format.description();
            for (std::uint32_t i = 0; i < 5; ++i)
                EXPECT_EQ(appendTestSample(*buffer, c, 4 + i), 100.0f * float(c) + float(2 + i) + 1000.0f)
                    << format.description() << " channel " << c << " frame " << i;
        }
        // The rest of the source fits exactly.
        auto tail = appendTestBuffer(format, 1, 1, 5000.0f);
        EXPECT_TRUE(rozezeru::append(*buffer, *tail));
        EXPECT_EQ(std::pair(buffer->frameLength(), appendTestSample(*buffer, 0, 9)), std::pair(10u, 5000.0f));
    }
}

TEST(PcmBufferAppend, RefusesWhatDoesNotFit) {
    testsupport::ToolkitLogCapture capture;
    const auto stereo = *platform::AudioFormat::standard(44100.0, 2);
    auto buffer = appendTestBuffer(stereo, 10, 4, 0.0f);
    auto source = appendTestBuffer(stereo, 8, 6, 1000.0f);

    EXPECT_FALSE(rozezeru::append(*buffer, *source, 2, 5));  // past the source's valid frames
    EXPECT_FALSE(rozezeru::append(*buffer, *source, -1, 2)); // before its start
    EXPECT_FALSE(rozezeru::append(*buffer, *appendTestBuffer(stereo, 7, 7, 0.0f))); // no room
    EXPECT_FALSE(rozezeru::append(
        *buffer, *appendTestBuffer(*platform::AudioFormat::standard(48000.0, 2), 2, 2, 0.0f)));
    auto integers = platform::PcmBuffer::make(
        *platform::AudioFormat::make(platform::CommonFormat::pcmInt16, 44100.0, 2, false), 4);
    auto moreIntegers = platform::PcmBuffer::make(integers->format(), 4);
    moreIntegers->setFrameLength(2);
    EXPECT_FALSE(rozezeru::append(*integers, *moreIntegers));

    EXPECT_EQ(std::tuple(buffer->frameLength(), buffer->channel(0)[4], integers->frameLength()),
              std::tuple(4u, 0.0f, 0u));
    const auto contents = capture.contents("PcmBufferAppend.cpp", "append(_:startingFrame:frameCount:)");
    ASSERT_EQ(contents.size(), 5u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::error);
    EXPECT_EQ(contents[0], "🛑 Error: Cannot append frames: the frames lie outside the source");
    EXPECT_EQ(contents[2], "🛑 Error: Cannot append frames: the buffer has no room for them");
}
