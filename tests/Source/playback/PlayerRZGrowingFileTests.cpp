// A file still being written is followed as it grows and ends once, at its last frame.

#include "tests/Source/playback/PlayerRZFixture.h"

// A WAV file whose header states its full length while its writer is still at it (a recording, a slow
// copy): the player follows it as it grows, and the entry's length is stored only once it is whole.
TEST_F(PlayerRZTest, AFileStillBeingWrittenIsFollowedAsItGrowsAndItsLengthIsStoredOnceWhole) {
    auto stored = [](const vantle::PlaylistEntry& entry) {
        const platform::PlistValue tree = platform::encodePlistValue(entry).value();
        const platform::PlistValue* duration = tree.find("_cachedDuration");
        return duration ? std::optional<double>(duration->asReal().value_or(-1.0)) : std::nullopt;
    };
    ASSERT_TRUE(writeTone(folder.file("whole.wav"), 12.0));
    std::ifstream in(folder.file("whole.wav"), std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    const std::string path = folder.file("growing.wav");
    std::size_t written = bytes.size() / 6;
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(written));

    auto entry = entryFor(path);
    ASSERT_TRUE(entry);
    EXPECT_NEAR(entry->_cachedDuration.value_or(0), 2.0, 0.01);
    EXPECT_EQ(stored(*entry), std::nullopt) << "not stored while the file grows";
    makePlayer(std::make_unique<testsupport::StuckDevice>());
    player->setEntry(entry);
    player->play();
    ASSERT_TRUE(player->isPlaying());

    // Written a little at a time, never pausing, until the player has taken a longer length (or the
    // wait below has given up). Near the end it goes on a frame at a time, so however slow the machine,
    // the player finds it still being written.
    std::atomic<bool> longer{false}, closed{false};
    std::thread writer([&] {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        const std::size_t tail = bytes.size() - bytes.size() / 6;
        while (!longer && written + 4 < bytes.size()) {
            const std::size_t step = written + 4096 < tail ? 4096 : 4;
            out.write(bytes.data() + written, std::streamsize(step)).flush();
            written += step;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        out.write(bytes.data() + written, std::streamsize(bytes.size() - written)).flush();
        out.close();
        closed = true;
    });
    const bool followed = waitFor([&] { return player->duration() > 2.05; }, 50.0);
    const bool whileWritten = !closed;
    longer = true;
    writer.join();
    EXPECT_TRUE(followed && whileWritten) << "taken while its writer was still at it";
    EXPECT_TRUE(entry->durationIsProvisional);

    ASSERT_TRUE(waitFor([&] { return player->duration() == 12.0; }));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_FALSE(entry->durationIsProvisional);
    EXPECT_EQ(stored(*entry), 12.0);
    ASSERT_FALSE(delegate.toldLengths.empty());
    EXPECT_EQ(delegate.toldLengths.back().second, 12.0);

    // A whole file being written over in place is not read until its writer is done, however it grows.
    console.clear();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), std::streamsize(bytes.size() / 2));
    player->fileChanged(entry, platform::FileSystemEvent::extend);
    EXPECT_EQ(withoutEventLines(console.lines()), std::vector<std::string>{});
    EXPECT_EQ(player->duration(), 12.0);
}

// A song whose header states its full length while its writer is still at it: each new length is taken
// without a break in what is heard, and the song ends once, at its last frame.
TEST_F(PlayerRZTest, AGrowingSongPlaysOnIntoEachNewLengthWithoutABreak) {
    constexpr double hz = 997.0, rate = 44100.0; // no whole number of frames per period
    constexpr std::size_t frameBytes = 8;        // stereo 32-bit float
    ASSERT_TRUE(writeSineFile(folder.file("whole.wav"), 6.0, hz));
    testsupport::GrowingWav growing(folder.file("whole.wav"), folder.file("growing.wav"));
    ASSERT_TRUE(growing.ok() && growing.writeFrames(std::size_t(2.0 * rate), frameBytes));
    auto entry = offlineEntry(growing.path());
    player->play();
    std::vector<float> heard;
    // The main queue runs between short renders, as it does while a device plays.
    auto listen = [&](double seconds) {
        for (int piece = 0; piece < int(std::lround(seconds * 10)); ++piece) {
            const std::vector<float> samples = channelSamples(*player->engine().render(0.1), 0);
            heard.insert(heard.end(), samples.begin(), samples.end());
            mainQueue().drain();
        }
    };
    listen(1.0);
    // A second of playing between the writer's steps; its last step closes the file.
    for (const double length : {3.5, 5.0, 6.0}) {
        const bool last = length == 6.0;
        ASSERT_TRUE(last ? growing.finish() : growing.writeFrames(std::size_t(length * rate), frameBytes));
        player->fileChanged(entry, last ? platform::FileSystemEvent::write | platform::FileSystemEvent::extend
                                        : platform::FileSystemEvent::extend);
        EXPECT_EQ(std::tuple(player->duration(), entry->_cachedDuration, player->isPlaying()),
                  std::tuple(length, std::optional(length), true));
        listen(1.0);
    }
    EXPECT_FALSE(entry->durationIsProvisional);
    EXPECT_NEAR(player->rzplayer()->currentTime(), 4.0, 0.01);
    listen(2.5);
    // Unbroken from the first frame heard to the last, through the old ends at 2, 3.5 and 5 seconds,
    // and six seconds long: nothing left out or heard twice.
    const std::size_t first = testsupport::onset(heard, 0.01f) + 1, window = 4410;
    const std::size_t end = first + std::size_t(6.0 * rate) - 1;
    ASSERT_LT(first, window);
    const testsupport::SineBreak worst = testsupport::largestSineBreak(heard, hz, rate, first, end - 1);
    EXPECT_LT(worst.size, 1e-4) << "broken at " << double(worst.at) / rate << " s";
    const double level = testsupport::rms(heard, first, first + window);
    EXPECT_NEAR(testsupport::rms(heard, end - window, end), level, level * 0.02) << "the end heard";
    EXPECT_LT(testsupport::rms(heard, end + 441, end + 441 + window), level * 0.01) << "silent after it";
    player->stop();
}

// The end of what was there when the song started is no end once more was taken, however many steps its
// writer took before any of it was heard: it finishes once, after its last frame.
TEST_F(PlayerRZTest, AGrowingSongFinishesOnceAtItsNewEnd) {
    ASSERT_TRUE(writeSineFile(folder.file("whole.wav"), 3.0, 1000.0));
    testsupport::GrowingWav growing(folder.file("whole.wav"), folder.file("growing.wav"));
    ASSERT_TRUE(growing.ok() && growing.writeFrames(22050, 8));
    makePacedPlayer();
    auto entry = entryFor(growing.path());
    player->setEntry(entry);
    player->play();
    ASSERT_TRUE(player->isPlaying());
    for (const double length : {1.0, 1.5, 2.0, 2.5}) {
        ASSERT_TRUE(growing.writeFrames(std::size_t(length * 44100), 8));
        player->fileChanged(entry, platform::FileSystemEvent::extend);
    }
    ASSERT_TRUE(growing.finish());
    player->fileChanged(entry, platform::FileSystemEvent::write | platform::FileSystemEvent::extend);
    ASSERT_EQ(player->duration(), 3.0);
    ASSERT_EQ(pacedDevice->periodsRendered(), 0u);
    renderOn();
    ASSERT_TRUE(waitFor([&] { return delegate.finishes > 0; }));
    // The file player runs ahead of the output by the stretcher's latency, a tenth of a second or so.
    EXPECT_GE(double(pacedDevice->periodsRendered() * 512), 2.75 * 44100) << "not before its last frames";
    EXPECT_FALSE(mainQueue().drainUntil([&] { return delegate.finishes > 1; }, 0.2));
    EXPECT_EQ(delegate.finishes, 1);
}
