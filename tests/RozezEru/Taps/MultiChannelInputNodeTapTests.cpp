#include "tests/support/SmallFilesystem.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"
#include "tests/support/Wait.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Taps/MultiChannelInputNodeTap.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/IONodes.h"
#include "tests/support/FakeInputDevice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>

using namespace rozezeru;
using namespace testsupport;
using Files = std::vector<std::shared_ptr<WriteableFile>>;

namespace {

// Frame n of device channel c: every channel its own, none exact in 24 bits.
float deviceSample(int c, std::uint64_t n) {
    return float(0.9 * std::sin(0.0007 * double(n) * (c + 1) + c));
}

std::unique_ptr<platform::AudioEngine> eightChannelEngine() {
    testsupport::FakeInputDevice::Configuration configuration;
    for (int c = 0; c < 8; ++c)
        configuration.inputs.push_back(
            testsupport::FakeInputDevice::perFrame([c](std::uint64_t n) { return deviceSample(c, n); }));
    return std::make_unique<platform::AudioEngine>(
        std::make_unique<testsupport::FakeInputDevice>(std::move(configuration)));
}

std::shared_ptr<MultiChannelInputNodeTap> tapOn(platform::AudioEngine& engine, const std::string& folder) {
    auto tap = std::make_shared<MultiChannelInputNodeTap>(&engine.inputNode());
    tap->setDirectory(folder);
    tap->setBufferSize(512);
    return tap;
}

// Stops the running take once every file holds `frames`.
void finish(MultiChannelInputNodeTap& tap, std::int64_t frames = 4096) {
    ASSERT_TRUE(waitUntil([&] {
        for (const auto& file : tap.files())
            if (file && file->totalFramesWritten() < frames) return false;
        return true;
    }));
    tap.stop();
}

void take(MultiChannelInputNodeTap& tap) {
    ASSERT_TRUE(tap.record().ok());
    finish(tap);
}

// Whether the closed file holds device channel `c` from the frame of its first buffer, 24-bit exact.
void expectChannel(const WriteableFile& file, int c) {
    SCOPED_TRACE(file.url());
    auto buffer = bufferFromFile(file.url());
    ASSERT_TRUE(buffer.ok() && buffer.value());
    const platform::PcmBuffer& b = *buffer.value();
    ASSERT_GE(b.frameLength(), 4096u);
    const auto first = std::uint64_t(file.timestamp()->sampleTime());
    double worst = 0;
    for (std::uint32_t k = 0; k < b.frameLength(); ++k)
        worst = std::max(worst, double(std::fabs(b.channel(0)[k] - deviceSample(c, first + k))));
    EXPECT_LE(worst, 1.0 / 8388608);
    EXPECT_EQ(file.fileFormat().bitsPerChannel, 24u);
}

struct CountingDelegate final : MultiChannelInputNodeTapDelegate {
    void tapInstalled(MultiChannelInputNodeTap&) override { ++installed; }
    void tapRemoved(MultiChannelInputNodeTap&) override { ++removed; }
    void dataProcessed(MultiChannelInputNodeTap&, std::uint32_t frames, const platform::AudioTime&) override {
        processed += frames;
    }
    void recordingFailed(MultiChannelInputNodeTap& tap, const platform::Error& error) override {
        std::lock_guard lock(mutex);
        failures.push_back(error);
        recordingWhenTold = tap.isRecording();
    }
    int installed = 0, removed = 0;
    std::atomic<std::uint64_t> processed{0};
    std::mutex mutex;
    std::vector<platform::Error> failures;
    bool recordingWhenTold = true;
};

} // namespace

TEST(MultiChannelInputNodeTap, TakesRecordTheMappedChannelsAndNeverTruncateAnotherRecorder) {
    TemporaryFolder folder;
    auto engine = eightChannelEngine();
    auto tap = tapOn(*engine, folder.path);
    tap->prepare(std::vector<std::int32_t>{2, 3});
    EXPECT_EQ(tap->channelMap(), (std::vector<std::int32_t>{2, 3}));
    EXPECT_EQ(tap->recordFormat()->channelCount(), 2u);
    EXPECT_TRUE(tap->recordEnabled());
    ASSERT_TRUE(engine->start().ok());
    EXPECT_FALSE(tap->durationRecorded());
    for (int n = 1; n <= 2; ++n) {
        take(*tap);
        const Files files = tap->files();
        ASSERT_EQ(files.size(), 2u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(files[i]->url(),
                      folder.file("Audio " + std::to_string(3 + i) + " #" + std::to_string(n) + ".wav"));
            expectChannel(*files[i], 2 + i);
        }
        EXPECT_GT(*tap->durationRecorded(), 0.0);
    }

    // A second recorder that listed the same names before the first one's take created them.
    auto otherEngine = eightChannelEngine();
    auto other = tapOn(*otherEngine, folder.path);
    other->setRecordCounter(3);
    other->prepare(std::vector<std::int32_t>{2});
    ASSERT_TRUE(otherEngine->start().ok());
    ASSERT_TRUE(tap->record().ok());
    EXPECT_FALSE(tap->durationRecorded());
    take(*other);
    finish(*tap);
    EXPECT_EQ(other->files()[0]->url(), folder.file("Audio 3 #3 2.wav"));
    expectChannel(*other->files()[0], 2);
    expectChannel(*tap->files()[0], 2);
    engine->stop();
    otherEngine->stop();
    tap->setRecordEnabled(false);
    other->setRecordEnabled(false);
}

TEST(MultiChannelInputNodeTap, AChannelWithoutAFileNeitherShiftsTheOthersNorRecordsNothing) {
    TemporaryFolder folder;
    auto engine = eightChannelEngine();
    auto homeless = tapOn(*engine, folder.path);
    homeless->setDirectory(std::nullopt);
    homeless->prepare(std::vector<std::int32_t>{1});
    EXPECT_FALSE(homeless->record().ok());
    EXPECT_FALSE(homeless->isRecording());
    homeless->setRecordEnabled(false);
    auto lost = tapOn(*engine, folder.file("missing"));
    lost->prepare(std::vector<std::int32_t>{1});
    EXPECT_FALSE(lost->record().ok() || lost->isRecording());
    lost->setRecordEnabled(false);

    std::ofstream(folder.file("Audio 3 #10000.wav")) << "taken";
    auto tap = tapOn(*engine, folder.path);
    auto delegate = std::make_shared<CountingDelegate>();
    tap->setDelegate(delegate);
    tap->setRecordCounter(10000);
    tap->prepare(std::vector<std::int32_t>{2, 3});
    tap->setRecordEnabled(true);
    ASSERT_TRUE(engine->start().ok());
    take(*tap);
    // The delegate hears of a buffer after its files took it.
    EXPECT_TRUE(waitUntil([&] { return delegate->processed.load() >= 4096u; }));
    const Files files = tap->files();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], nullptr);
    EXPECT_EQ(files[1]->url(), folder.file("Audio 4 #10000.wav"));
    expectChannel(*files[1], 3);
    engine->stop();
    tap->setRecordEnabled(false);
    tap->setRecordEnabled(false);
    EXPECT_EQ(delegate->installed, 1);
    EXPECT_EQ(delegate->removed, 1);
}

TEST(MultiChannelInputNodeTap, EveryChannelOfATakeStartsAndEndsOnTheSameFrame) {
    TemporaryFolder folder;
    auto engine = eightChannelEngine();
    auto tap = tapOn(*engine, folder.path);
    tap->prepare(std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7});
    ASSERT_TRUE(engine->start().ok());
    for (int n = 0; n < 100; ++n) {
        ASSERT_TRUE(tap->record().ok());
        finish(*tap, 512);
        const Files files = tap->files();
        for (const auto& file : files)
            EXPECT_EQ(std::pair(file->timestamp()->sampleTime(), file->totalFramesWritten()),
                      std::pair(files[0]->timestamp()->sampleTime(), files[0]->totalFramesWritten()));
    }
    engine->stop();
    tap->setRecordEnabled(false);
}

TEST(MultiChannelInputNodeTap, AFullDiskEndsTheTakeWithEveryWholeWriteAndTellsTheDelegate) {
    // The eight files grow alike, so which of them meets the full disk first depends on what else is
    // on it: a few pages of another file make a later channel fail after the earlier ones took the
    // buffer.
    for (const std::size_t otherPages : {0u, 3u}) {
        SCOPED_TRACE(otherPages);
        SmallFilesystem disk(1);
        if (!disk.mounted()) GTEST_SKIP() << "this machine does not let the test mount a file system";
        std::ofstream(disk.file("other")) << std::string(otherPages * 4096, 'x');
        ToolkitLogCapture log;
        auto engine = eightChannelEngine();
        auto tap = tapOn(*engine, disk.path());
        auto delegate = std::make_shared<CountingDelegate>();
        tap->setDelegate(delegate);
        // Eight 24-bit channels fill the megabyte in about a second.
        tap->prepare(std::vector<std::int32_t>{0, 1, 2, 3, 4, 5, 6, 7});
        ASSERT_TRUE(engine->start().ok());
        ASSERT_TRUE(tap->record().ok());
        // The delegate is told on the tap thread, after the take has ended.
        ASSERT_TRUE(waitUntil(
            [&] {
                std::lock_guard lock(delegate->mutex);
                return !delegate->failures.empty();
            },
            std::chrono::seconds(60)));
        EXPECT_FALSE(tap->isRecording());
        engine->stop();
        tap->setRecordEnabled(false);

        {
            std::lock_guard lock(delegate->mutex);
            ASSERT_EQ(delegate->failures.size(), 1u);
            EXPECT_EQ(delegate->failures[0].code, int(platform::AudioFileError::writeFailed));
            EXPECT_FALSE(delegate->recordingWhenTold);
        }
        const std::vector<std::string> lines =
            log.contents("MultiChannelInputNodeTap.cpp", "process(buffer:time:)");
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [](const std::string& line) { return line.rfind("Write failed", 0) == 0; }),
                  1);
        EXPECT_TRUE(tap->durationRecorded());
        // Every file is closed and holds its channel exactly, all up to the same last whole buffer.
        const Files files = tap->files();
        ASSERT_EQ(files.size(), 8u);
        for (int c = 0; c < 8; ++c) {
            EXPECT_FALSE(files[c]->isOpen());
            expectChannel(*files[c], c);
            auto reread = bufferFromFile(files[c]->url());
            ASSERT_TRUE(reread.ok() && reread.value());
            EXPECT_EQ(std::int64_t(reread.value()->frameLength()), files[0]->totalFramesWritten()) << c;
            EXPECT_EQ(files[c]->timestamp()->sampleTime(), files[0]->timestamp()->sampleTime()) << c;
        }
    }
}
