// WaveformDataRequest: levels per point, the offsets, cancellation and short files.

#include "ConverterTestRig.h"

#include "RozezEru/AudioFiles/WaveformDataRequest.h"
#include "platform/dispatch/SerialQueue.h"

#include "tests/support/Wait.h"

#include <cmath>

using namespace convertertest;
using rozezeru::WaveformDataRequest;

struct WaveformDataRequestTest : testing::Test {
    testsupport::TemporaryFolder folder;
    // Channel 1 is twice channel 0, a ramp from 0: every point has its own level.
    Channels samples{testsupport::ramp(44100, 0.0f, 1.0f / 65536.0f),
                     testsupport::ramp(44100, 0.0f, 2.0f / 65536.0f)};
    std::shared_ptr<WaveformDataRequest> request;

    void SetUp() override {
        ASSERT_TRUE(testsupport::writeWithSndfile(folder.file("ramp.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                                  samples, 44100));
        request = WaveformDataRequest::make(folder.file("ramp.wav")).value();
    }

    // Points [first, end) hold the levels of 689 frames each from `startFrame`; the rest 0.
    void expectLevels(const std::optional<WaveformDataRequest::Data>& data, std::size_t first,
                      std::size_t end, std::int64_t startFrame) const {
        ASSERT_TRUE(data);
        WaveformDataRequest::Data want(2, std::vector<float>(64, 0.0f));
        for (std::size_t i = first; i < end; ++i, startFrame += 689)
            for (std::uint32_t c = 0; c < 2; ++c)
                want[c][i] = float(
                    testsupport::rms(samples[c], std::size_t(startFrame), std::size_t(startFrame) + 689));
        for (std::uint32_t c = 0; c < 2; ++c)
            for (std::size_t i = 0; i < 64; ++i)
                EXPECT_NEAR((*data)[c][i], want[c][i], 1e-6) << "channel " << c << " point " << i;
    }
};

TEST_F(WaveformDataRequestTest, OffsetsChooseThePointsComputed) {
    auto& file = *request->audioFile();
    // At least 64 points of 44100 / 64 = 689 frames; the last 4 frames belong to none.
    expectLevels(request->getData(10, 0), 0, 64, 0);
    expectLevels(request->getData(64, 10, 5), 10, 15, 10 * 689);
    expectLevels(request->getData(64, 64), 0, 0, 0);
    EXPECT_FALSE(request->getData(64, 65));
    file.setFramePosition(10 * 689 + 5);
    expectLevels(request->getData(64, -3), 7, 64, 7 * 689);
    file.setFramePosition(5000);
    expectLevels(request->getData(64), 7, 64, 5000);
    EXPECT_EQ(file.framePosition(), 5000);
}

TEST_F(WaveformDataRequestTest, CancellationStopsAtTheNextPointAndClearsItself) {
    auto& file = *request->audioFile();
    file.setFramePosition(123);
    request->cancel();
    ASSERT_TRUE(testsupport::waitUntil([&] { return request->abortGetWaveformData(); }));
    // Nothing to compute leaves the flag set; the next real request stops and clears it.
    EXPECT_TRUE(request->getData(64, 0, 0));
    EXPECT_TRUE(request->abortGetWaveformData());
    EXPECT_FALSE(request->getData(64, 0));
    EXPECT_EQ(file.framePosition(), 123);
    EXPECT_TRUE(testsupport::waitUntil([&] { return !request->abortGetWaveformData(); }));

    platform::SerialQueue queue("waveform");
    std::promise<std::optional<WaveformDataRequest::Data>> delivered;
    request->getData(64, 0, std::nullopt, queue, [&](auto data) { delivered.set_value(std::move(data)); });
    expectLevels(delivered.get_future().get(), 0, 64, 0);
}

TEST_F(WaveformDataRequestTest, FilesShorterThanThePointsGiveSilence) {
    ASSERT_TRUE(testsupport::writeWithSndfile(folder.file("short.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                              Channels{testsupport::ramp(50, 0.5f, 0.0f)}, 44100));
    auto shortRequest = WaveformDataRequest::make(folder.file("short.wav")).value();
    shortRequest->audioFile()->setFramePosition(20);
    for (const auto& offset :
         {std::optional<std::int64_t>(), std::optional<std::int64_t>(-2), std::optional<std::int64_t>(3)})
        EXPECT_EQ(shortRequest->getData(64, offset),
                  WaveformDataRequest::Data(1, std::vector<float>(64, 0.0f)));
    EXPECT_FALSE(WaveformDataRequest::make(folder.file("missing.wav")).ok());
}
