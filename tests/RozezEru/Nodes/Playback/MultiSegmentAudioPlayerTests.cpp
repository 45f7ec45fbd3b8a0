// MultiSegmentAudioPlayer: segments on a timeline play exactly their frames, at their times.

#include "PlayerTestRig.h"

#include "RozezEru/Nodes/Playback/MultiSegmentAudioPlayer.h"

using namespace playertest;
using rozezeru::MultiSegmentAudioPlayer;

namespace {

struct RampSegment final : rozezeru::StreamableAudioSegment {
    std::shared_ptr<platform::AudioFile> file;
    double start, from, to;
    std::shared_ptr<std::atomic<int>> completions;

    RampSegment(std::shared_ptr<platform::AudioFile> f, double s, double a, double b,
                std::shared_ptr<std::atomic<int>> c)
        : file(std::move(f)), start(s), from(a), to(b), completions(std::move(c)) {}
    std::shared_ptr<platform::AudioFile> audioFile() const override { return file; }
    double playbackStartTime() const override { return start; }
    double fileStartTime() const override { return from; }
    double fileEndTime() const override { return to; }
    std::function<void()> segmentCompletion() const override {
        return [completions = completions] { ++*completions; };
    }
};

} // namespace

TEST(MultiSegmentAudioPlayer, SegmentsPlayExactlyTheirFramesAtTheirTimes) {
    Folder folder;
    const auto file = openFile(writeRampFile(folder, "ramp.wav", 88200, 1));
    rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
    auto player = std::make_shared<MultiSegmentAudioPlayer>();
    engine.setOutput(player);
    ASSERT_TRUE(engine.startTest(0.0));
    testsupport::renderOfflineFrames(engine.avEngine(), 1024, 512);

    auto completions = std::make_shared<std::atomic<int>>(0);
    auto segment = [&](double start, double from, double to) {
        return std::make_shared<RampSegment>(file, start, from, to, completions);
    };
    // The timeline stands at 0.5 s, and "now" is the next frame the engine renders, plus 10 ms.
    player->playSegments({segment(0.4, 1.0, 1.2),   // under way: file 1.1 s to 1.2 s, at once
                          segment(0.6, 0.0, 0.05),  // 0.1 s later, from its start
                          segment(0.0, 0.0, 0.3),   // over
                          segment(0.55, 0.7, 0.7)}, // empty
                         0.5, platform::AudioTime::withSampleTime(1024, 44100.0), 0.01);
    const auto out = testsupport::renderOfflineFrames(engine.avEngine(), 7556, 512);
    ASSERT_EQ(out.size(), 2u);
    std::vector<float> expected(7556, 0.0f);
    for (int k = 0; k < 4410; ++k)
        expected[441 + k] = rampValue(48510 + k);
    for (int k = 0; k < 2205; ++k)
        expected[4851 + k] = rampValue(k);
    EXPECT_EQ(std::pair(out[0], out[1]), std::pair(expected, expected));
    EXPECT_TRUE(testsupport::waitUntil([&] { return *completions == 2; }));

    // A node that has never rendered schedules nothing.
    MultiSegmentAudioPlayer unattached;
    testsupport::ToolkitLogCapture capture;
    unattached.playSegments({segment(0.0, 0.0, 0.1)});
    unattached.makeInternalConnections();
    EXPECT_EQ(capture.contents("MultiSegmentAudioPlayer.cpp", "makeInternalConnections()"),
              std::vector<std::string>{"Engine is nil"});
    EXPECT_EQ(*completions, 2);
}
