#include "tests/support/Clocks.h"
#include "tests/support/Signals.h"
#include "tests/support/SmallFilesystem.h"
#include "tests/support/TapRig.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include "RozezEru/AudioFiles/PcmBufferUtilities.h"
#include "RozezEru/Taps/NodeRecorder.h"
#include "RozezEru/Taps/WriteableFile.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <numbers>

using namespace rozezeru;
using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// Channel 0 of the whole file.
std::vector<float> firstChannel(const std::string& path) {
    auto buffer = bufferFromFile(path);
    if (!buffer.ok() || !buffer.value()) return {};
    const platform::PcmBuffer& b = *buffer.value();
    return std::vector<float>(b.channel(0), b.channel(0) + b.frameLength());
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::shared_ptr<SignalNode> toneNode(double hz) {
    return std::make_shared<SignalNode>([hz](std::int64_t n) {
        return float(0.5 * std::sin(2 * std::numbers::pi * hz * double(n) / 44100.0));
    });
}

TEST(RecordingFiles, NamesNeverCollideAndEachRecorderDeletesOnlyItsOwn) {
    ScopedTimeZone zone("UTC");
    TemporaryFolder folder;
    testsupport::FakeClock clock(
        platform::Date::fromUnix(utcDate(2024, 3, 5, 14, 7, 9).timeIntervalSince1970() + 0.1234));
    EXPECT_EQ(NodeRecorder::timestampString(clock), "2024-03-05 14-07-09.1234");

    // Two files in the same ten-thousandth of a second: the second never truncates the first.
    auto first = NodeRecorder::createAudioFile(folder.path, clock);
    ASSERT_TRUE(first);
    ASSERT_TRUE(first->write(*pcmBuffer({rampSamples(100), rampSamples(100)})).ok());
    auto second = NodeRecorder::createAudioFile(folder.path, clock);
    ASSERT_TRUE(second);
    EXPECT_EQ(filesIn(folder.path),
              (std::vector<std::string>{"2024-03-05 14-07-09.1234 2.caf", "2024-03-05 14-07-09.1234.caf"}));
    EXPECT_EQ(NodeRecorder::temporaryFileURLs().back(), second->path());
    EXPECT_EQ(firstChannel(first->path()), rampSamples(100));
    EXPECT_FALSE(first->fileFormat().isNonInterleaved);
    const std::size_t listed = NodeRecorder::temporaryFileURLs().size();
    EXPECT_EQ(NodeRecorder::createAudioFile(folder.file("missing"), clock), nullptr);
    EXPECT_EQ(NodeRecorder::temporaryFileURLs().size(), listed);
    NodeRecorder::removeRecordedFiles();
    EXPECT_TRUE(filesIn(folder.path).empty());
    EXPECT_TRUE(NodeRecorder::temporaryFileURLs().empty());

    auto kept = std::make_shared<NodeRecorder>(rampNode(), folder.path, 0, true);
    auto released = std::make_shared<NodeRecorder>(rampNode(), folder.path, 0, true);
    released->startNewFile();
    const std::vector<std::string> survivors = NodeRecorder::temporaryFileURLs();
    released.reset();
    ASSERT_EQ(filesIn(folder.path).size(), 1u);
    EXPECT_EQ(NodeRecorder::temporaryFileURLs(), std::vector<std::string>{survivors.front()});
    kept.reset();
    EXPECT_TRUE(filesIn(folder.path).empty());
}

TEST(NodeRecorder, RecordsATimedToneAndStopsItself) {
    TemporaryFolder folder;
    TapRig rig(toneNode(441.0));
    std::atomic<std::size_t> delivered{0};
    auto recorder = std::make_shared<NodeRecorder>(
        rig.node, folder.path, 0, true,
        [&](const std::vector<float>& samples, const platform::AudioTime&) { delivered += samples.size(); });
    recorder->setDurationToRecord(2.0);
    ASSERT_TRUE(recorder->record().ok());
    rig.feedWhileTapped(1024, 100);
    EXPECT_FALSE(recorder->isRecording());
    EXPECT_FALSE(rig.taps().isInstalled(0));
    EXPECT_DOUBLE_EQ(recorder->currentFileDuration(), 2.0);
    // The buffer that ends the recording reaches the callback after its own block removed the tap.
    ASSERT_TRUE(waitUntil([&] { return delivered.load() >= 88200u; }));
    EXPECT_EQ(delivered.load(), 88200u);
    auto file = recorder->audioFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(file->length(), 88200);
    EXPECT_NEAR(toneAmplitude(firstChannel(file->path()), 44100.0, 441.0), 0.5, 1e-3);
    EXPECT_EQ(recorder->currentFileDuration(), 0.0);
}

TEST(NodeRecorder, PausesAppendsTakesAndStartsNewFilesAfterReading) {
    ToolkitLogCapture log;
    TemporaryFolder folder;
    TapRig rig(rampNode());
    auto recorder = std::make_shared<NodeRecorder>(rig.node, folder.path);
    ASSERT_TRUE(recorder->record().ok());
    ASSERT_TRUE(recorder->record().ok());
    rig.feed(1024, 2);
    recorder->pauseRecording();
    rig.feed(1024, 3);
    recorder->resumeRecording();
    rig.feed(1024, 1);
    recorder->stop();
    recorder->stop();
    recorder->pauseRecording();
    ASSERT_TRUE(recorder->record().ok()); // armed pause: the tap runs, nothing is written
    rig.feed(1024, 1);
    recorder->resumeRecording();
    rig.feed(1024, 1);
    recorder->stop();
    EXPECT_FALSE(recorder->isPaused());
    EXPECT_EQ(log.contents("NodeRecorder.cpp", "record()")[1], "Warning: already recording");
    EXPECT_EQ(log.contents("NodeRecorder.cpp", "stop()"),
              std::vector<std::string>{"Warning: Cannot stop recording, already stopped"});

    std::vector<float> expected = rampSamples(2048);
    for (float first : {5120.0f, 7168.0f}) {
        const std::vector<float> more = rampSamples(1024, first);
        expected.insert(expected.end(), more.begin(), more.end());
    }
    const auto taken = recorder->audioFile();
    ASSERT_TRUE(taken);
    EXPECT_EQ(firstChannel(taken->path()), expected);

    ASSERT_TRUE(recorder->record().ok());
    rig.feed(1024, 1);
    recorder->stop();
    const auto next = recorder->audioFile();
    ASSERT_TRUE(next);
    EXPECT_NE(next->path(), taken->path());
    EXPECT_EQ(firstChannel(next->path()), rampSamples(1024, 8192.0f));

    ASSERT_TRUE(recorder->reset().ok());
    EXPECT_EQ(log.contents("NodeRecorder.cpp", "reset()"), std::vector<std::string>{"File has been cleared"});
    const auto cleared = recorder->audioFile();
    ASSERT_TRUE(cleared);
    EXPECT_EQ(cleared->path(), next->path());
    EXPECT_EQ(cleared->length(), 0);

    // A file handed in by the caller survives a reset with what was recorded into it.
    auto mine = std::move(
        platform::AudioFile::openForWriting(folder.file("mine.caf"), cleared->fileFormat().settings())
            .value());
    recorder->adoptFile(mine);
    ASSERT_TRUE(recorder->record().ok());
    rig.feed(1024, 1);
    ASSERT_TRUE(recorder->reset().ok());
    EXPECT_EQ(firstChannel(folder.file("mine.caf")), rampSamples(1024, 9216.0f));
}

TEST(NodeRecorder, RefusesWhatItCannotRecord) {
    ToolkitLogCapture log;
    TemporaryFolder folder;
    auto loose = std::make_shared<NodeRecorder>(rampNode(), folder.path);
    EXPECT_TRUE(loose->record().ok());
    EXPECT_FALSE(loose->isRecording());
    EXPECT_EQ(log.contents("NodeRecorder.cpp", "record()").back(),
              "🛑 Error: Error recording. Input node 'testsupport::SignalNode' has no engine.");

    TapRig rig(rampNode());
    auto homeless = std::make_shared<NodeRecorder>(rig.node, folder.file("missing"));
    EXPECT_FALSE(homeless->record().ok());
    EXPECT_FALSE(homeless->isRecording());
    EXPECT_FALSE(rig.taps().isInstalled(0));
    EXPECT_EQ(homeless->audioFile(), nullptr);
    auto mono = std::make_shared<NodeRecorder>(rig.node, folder.path);
    mono->setRecordFormat(platform::AudioFormat::standard(44100.0, 1));
    EXPECT_FALSE(mono->record().ok() || rig.taps().isInstalled(0));
}

TEST(NodeRecorder, AFullDiskEndsTheRecordingWithEveryWholeWriteAndTellsTheOwner) {
    for (const std::uint32_t megabytes : {1u, 4u}) {
        SCOPED_TRACE(std::to_string(megabytes) + " MB");
        SmallFilesystem disk(megabytes);
        if (!disk.mounted()) GTEST_SKIP() << "this machine does not let the test mount a file system";
        ToolkitLogCapture log;
        TapRig rig(rampNode());
        auto recorder = std::make_shared<NodeRecorder>(rig.node, disk.path(), 0, false);
        std::mutex mutex;
        std::vector<platform::Error> told;
        recorder->setRecordingFailedCallback([&](const platform::Error& error) {
            std::lock_guard lock(mutex);
            told.push_back(error);
        });
        ASSERT_TRUE(recorder->record().ok());
        // Stereo float at 8 bytes a frame: the disk is full long before this.
        rig.feedWhileTapped(1024, int(megabytes) * 200);
        // The owner is told on the tap thread, after the recording has stopped.
        EXPECT_TRUE(waitUntil(
            [&] {
                std::lock_guard lock(mutex);
                return !told.empty();
            },
            std::chrono::seconds(60)));
        EXPECT_FALSE(recorder->isRecording());
        EXPECT_FALSE(rig.taps().isInstalled(0));
        {
            std::lock_guard lock(mutex);
            ASSERT_EQ(told.size(), 1u);
            EXPECT_EQ(told[0].code, int(platform::AudioFileError::writeFailed));
        }
        EXPECT_EQ(log.contents("NodeRecorder.cpp", "process(buffer:time:)").size(), 1u);
        // The recording holds the buffers written in full, in order, and nothing of the failed one.
        auto file = recorder->audioFile();
        ASSERT_TRUE(file);
        EXPECT_GT(file->length(), 0);
        EXPECT_EQ(file->length() % 1024, 0);
        EXPECT_EQ(firstChannel(file->path()), rampSamples(std::uint32_t(file->length())));
    }
}

TEST(NodeRecorderDeathTest, KilledMidRecordingLeavesEveryCompletedWrite) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs this test again from the top; the parent's folder reaches it through the environment.
    std::optional<TemporaryFolder> made;
    if (!std::getenv("VANTLE_KILLED_RECORDING"))
        ::setenv("VANTLE_KILLED_RECORDING", made.emplace().path.c_str(), 1);
    const std::string folder = std::getenv("VANTLE_KILLED_RECORDING");
    EXPECT_EXIT(
        {
            TapRig rig(rampNode());
            int buffers = 0;
            auto recorder = std::make_shared<NodeRecorder>(
                rig.node, folder, 0, false, [&](const std::vector<float>&, const platform::AudioTime&) {
                    if (++buffers == 5) ::raise(SIGKILL);
                });
            (void)recorder->record();
            rig.feed(1024, 6);
        },
        testing::KilledBySignal(SIGKILL), "");
    ::unsetenv("VANTLE_KILLED_RECORDING");
    const std::vector<std::string> names = filesIn(folder);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(firstChannel(folder + "/" + names.front()), rampSamples(5 * 1024));
}

TEST(WriteableFile, SkipsTheLatencyOnceAndKeepsTheLevelOfEachWrite) {
    TemporaryFolder folder;
    const platform::AudioStreamDescription format{.sampleRate = 44100,
                                                  .formatID = platform::audioFormatID::linearPCM,
                                                  .channelsPerFrame = 1,
                                                  .bitsPerChannel = 24};
    WriteableFile taken(folder.file("Audio 1 #1.wav"), format, 0, 0);
    taken.createFile();
    WriteableFile file(folder.file("Audio 1 #1.wav"), format, 0, 1500);
    file.createFile();
    EXPECT_EQ(file.url(), folder.file("Audio 1 #1 2.wav"));
    const std::vector<float> levels{0.25f, 0.5f, 0.125f};
    std::vector<float> written;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const std::vector<float> samples(1024, levels[i]);
        ASSERT_TRUE(file.update(*pcmBuffer({samples}),
                                platform::AudioTime::withSampleTime(std::int64_t(i) * 1024, 44100), true)
                        .ok());
        EXPECT_FLOAT_EQ(file.amplitude(), levels[i]);
        written.insert(written.end(), samples.begin() + (i == 1 ? 476 : 0),
                       i == 0 ? samples.begin() : samples.end());
    }
    EXPECT_EQ(file.amplitudeArray(), (std::vector<float>{0.5f, 0.125f}));
    EXPECT_EQ(file.totalFramesRead(), 3072u);
    EXPECT_EQ(file.totalFramesWritten(), 1572);
    EXPECT_EQ(file.timestamp()->sampleTime(), 0);
    file.close();
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.amplitudeArray().empty());
    EXPECT_EQ(file.description(),
              "url: " + folder.file("Audio 1 #1 2.wav") + ", channel: 0, file is open: false");
    EXPECT_EQ(firstChannel(file.url()), written);
    // A second recording with the same object writes from its first frame.
    fs::remove(file.url());
    file.createFile();
    ASSERT_TRUE(file.writeFile(*pcmBuffer({std::vector<float>(10, 0.5f)}), {}).ok());
    EXPECT_EQ(file.totalFramesWritten(), 10);
}

} // namespace
