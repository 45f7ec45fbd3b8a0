#include "platform/audio/PcmBuffer.h"

#include <cstdint>
#include <gtest/gtest.h>

using namespace platform;

TEST(AudioFormat, StandardFormatsAndRejectedValues) {
    auto stereo = AudioFormat::standard(44100, 2);
    ASSERT_TRUE(stereo);
    EXPECT_TRUE(stereo->isStandard());
    EXPECT_EQ(stereo->description(), "<2 ch, 44100 Hz, Float32, deinterleaved>");
    EXPECT_EQ(*stereo, *AudioFormat::standard(44100, 2));
    EXPECT_NE(*stereo, *AudioFormat::standard(48000, 2));
    EXPECT_NE(*stereo, *AudioFormat::make(CommonFormat::pcmFloat32, 44100, 2, true));

    EXPECT_FALSE(AudioFormat::standard(0, 2));
    EXPECT_FALSE(AudioFormat::standard(-44100, 2));
    EXPECT_FALSE(AudioFormat::standard(44100, 0));
    EXPECT_FALSE(AudioFormat::standard(44100, AudioFormat::maxChannels + 1));
    EXPECT_FALSE(AudioFormat::standard(0.0 / 0.0, 1));
    EXPECT_FALSE(AudioFormat().isValid());
}

TEST(PcmBuffer, ZeroFilledAlignedAndClampedLength) {
    auto buffer = PcmBuffer::make(*AudioFormat::standard(48000, 2), 1000);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(buffer->frameLength(), 0u);
    for (std::uint32_t ch = 0; ch < 2; ++ch) {
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer->channel(ch)) % 64, 0u);
        for (std::uint32_t i = 0; i < 1000; ++i)
            ASSERT_EQ(buffer->channel(ch)[i], 0.0f);
    }
    // Channels do not overlap.
    buffer->channel(0)[999] = 1.0f;
    EXPECT_EQ(buffer->channel(1)[0], 0.0f);

    buffer->setFrameLength(5000);
    EXPECT_EQ(buffer->frameLength(), 1000u);
    auto list = buffer->bufferList(256);
    EXPECT_EQ(list.numberBuffers, 2u);
    EXPECT_EQ(list.buffers[1].dataByteSize, 256u * 4);
    EXPECT_EQ(list.floatData(1), buffer->channel(1));

    buffer->silence();
    EXPECT_EQ(buffer->channel(0)[999], 0.0f);
    EXPECT_FALSE(PcmBuffer::make(AudioFormat(), 10));
}

TEST(PcmBuffer, InterleavedAndIntegerLayouts) {
    auto interleaved = PcmBuffer::make(*AudioFormat::make(CommonFormat::pcmFloat32, 44100, 2, true), 10);
    ASSERT_TRUE(interleaved);
    EXPECT_EQ(interleaved->stride(), 2u);
    interleaved->setFrameLength(10);
    auto list = interleaved->bufferList();
    EXPECT_EQ(list.numberBuffers, 1u);
    EXPECT_EQ(list.buffers[0].numberChannels, 2u);
    EXPECT_EQ(list.buffers[0].dataByteSize, 80u);

    auto ints = PcmBuffer::make(*AudioFormat::make(CommonFormat::pcmInt16, 44100, 1, false), 10);
    ASSERT_TRUE(ints);
    EXPECT_EQ(ints->floatChannelData(), nullptr);
    ASSERT_NE(ints->int16ChannelData(), nullptr);
    ints->setFrameLength(10);
    EXPECT_EQ(ints->bufferList().buffers[0].dataByteSize, 20u);
}
