// The video window playing real files through Qt Multimedia: a clip made here, and a broken one.

#include "Source/views/MediaVideoPlayer.h"
#include "Source/views/Mp4ViewController.h"
#include "Source/views/Mp4WindowController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/Source/views/VideoClipWriter.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/TemporaryFolder.h"

#include <QMediaPlayer>
#include <QPointer>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>

namespace vantle {
namespace {

// Handles events until the condition holds; a deadline generous enough for a busy machine.
bool videoRunUntil(const std::function<bool()>& condition) {
    return QTest::qWaitFor(condition, 10000);
}

class VideoPlaybackTest : public ::testing::Test {
protected:
    void TearDown() override { delete window.data(); }

    // A video window over the real player for the file; the window is shown.
    MediaVideoPlayer& open(const std::string& name) {
        window = new Mp4WindowController();
        window->loadVideo(platform::Url::fileURLWithPath(folder + "/" + name));
        auto* player = dynamic_cast<MediaVideoPlayer*>(window->mp4ViewController().videoPlayer());
        EXPECT_NE(player, nullptr);
        window->show();
        return *player;
    }

    testsupport::TemporaryFolder temporary;
    std::string folder = temporary.path;
    QPointer<Mp4WindowController> window;
};

TEST_F(VideoPlaybackTest, AGeneratedOneSecondClipPlaysInTheWindowToItsEnd) {
    const bool backendChosenOutside = qEnvironmentVariableIsSet("QT_MEDIA_BACKEND");
    ASSERT_EQ(testing::writeVideoClip(folder + "/clip.mp4"), "");
    MediaVideoPlayer& player = open("clip.mp4");
    if (!backendChosenOutside) {
        EXPECT_EQ(qgetenv("QT_MEDIA_BACKEND"), "gstreamer");
    }
    EXPECT_EQ(window->windowTitle(), "clip.mp4");
    QMediaPlayer& media = player.mediaPlayer();
    Mp4ViewController& view = window->mp4ViewController();

    QString error;
    QObject::connect(&media, &QMediaPlayer::errorOccurred, &media,
                     [&](QMediaPlayer::Error, const QString& message) { error = message; });
    int pictures = 0;
    QSize pictureSize;
    ASSERT_NE(view.mp4aview().videoSink(), nullptr);
    QObject::connect(view.mp4aview().videoSink(), &QVideoSink::videoFrameChanged, &media,
                     [&](const QVideoFrame& frame) {
                         if (!frame.isValid()) return;
                         ++pictures;
                         pictureSize = frame.size();
                     });

    ASSERT_TRUE(videoRunUntil([&] { return media.duration() > 0 || !error.isEmpty(); })) << "never loaded";
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_NEAR(double(media.duration()), 1000.0, 50.0);
    // Nothing plays until asked.
    EXPECT_EQ(player.rate(), 0.0f);

    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(player.rate(), 1.0f);
    ASSERT_TRUE(videoRunUntil([&] {
        return media.mediaStatus() == QMediaPlayer::EndOfMedia || !error.isEmpty();
    })) << "did not reach the end";
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_NEAR(player.currentTime(), 1.0, 0.06);
    EXPECT_EQ(player.rate(), 0.0f);
    EXPECT_GT(pictures, 0);
    EXPECT_EQ(pictureSize, QSize(160, 120));

    // Back to the start and a rate key: the stopped player starts at that rate and plays through again.
    view.pressed(RemoteControlButton::X);
    view.handleKey("d");
    EXPECT_EQ(player.rate(), 2.0f);
    EXPECT_EQ(media.playbackState(), QMediaPlayer::PlayingState);
    ASSERT_TRUE(videoRunUntil([&] {
        return media.mediaStatus() == QMediaPlayer::EndOfMedia || !error.isEmpty();
    })) << "did not reach the end at double rate";
    EXPECT_TRUE(error.isEmpty()) << error.toStdString();
}

TEST_F(VideoPlaybackTest, TheWindowShowsTheFirstFrameAsSoonAsItOpens) {
    ASSERT_EQ(testing::writeVideoClip(folder + "/clip.mp4"), "");
    window = new Mp4WindowController();
    QVideoSink* sink = window->mp4ViewController().mp4aview().videoSink();
    ASSERT_NE(sink, nullptr);
    QVideoFrame shown;
    QObject::connect(sink, &QVideoSink::videoFrameChanged, window, [&](const QVideoFrame& frame) {
        if (frame.isValid()) shown = frame;
    });
    window->loadVideo(platform::Url::fileURLWithPath(folder + "/clip.mp4"));
    auto* player = dynamic_cast<MediaVideoPlayer*>(window->mp4ViewController().videoPlayer());
    ASSERT_NE(player, nullptr);
    window->show();
    ASSERT_TRUE(videoRunUntil([&] { return shown.isValid(); })) << "the picture stayed black";
    EXPECT_EQ(shown.size(), QSize(160, 120));
    // Shown, not played: Space still starts it from the beginning.
    EXPECT_EQ(player->rate(), 0.0f);
    EXPECT_LT(player->currentTime(), 0.05);
}

TEST_F(VideoPlaybackTest, AFileThatIsNoVideoIsReportedAndTheWindowGoesOn) {
    {
        std::ofstream out(folder + "/broken.mp4", std::ios::binary);
        for (int i = 0; i < 4096; ++i)
            out.put(char((i * 7919) >> 3));
    }
    testsupport::ScopedConsoleCapture console;
    MediaVideoPlayer& player = open("broken.mp4");
    QTest::keyClick(&window->mp4ViewController(), Qt::Key_Space);
    ASSERT_TRUE(videoRunUntil([&] { return player.mediaPlayer().error() != QMediaPlayer::NoError; }))
        << "no error reported";
    ASSERT_TRUE(videoRunUntil([&] { return !console.lines().empty(); }));
    EXPECT_EQ(console.lines().front().rfind("Video broken.mp4: ", 0), 0u) << console.lines().front();
    EXPECT_EQ(player.rate(), 0.0f);
    QTest::keyClick(&window->mp4ViewController(), Qt::Key_S);
    window->mp4ViewController().pressed(RemoteControlButton::B);
    QTest::keyClick(&window->mp4ViewController(), Qt::Key_Escape);
    EXPECT_EQ(window->mp4ViewController().videoPlayer(), nullptr);
}

} // namespace
} // namespace vantle
