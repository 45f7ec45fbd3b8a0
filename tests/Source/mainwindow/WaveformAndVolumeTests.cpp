// The waveform picture as the window makes it (newest request wins, fades in) and the playback volume's
// one gain path onto the system output.
#include "Source/mainwindow/WaveformPicture.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <QGraphicsOpacityEffect>

namespace vantle::testing {
namespace {

TEST(WaveformPictureTest, OfTwoQuickRequestsOnlyTheSecondPictureArrives) {
    // Before the extractor's thread can post to the main queue first and be taken for the main thread.
    platform::mainQueue().bindToCurrentThread();
    testsupport::TemporaryFolder folder;
    const std::string quiet = folder.file("quiet.wav"), loud = folder.file("loud.wav");
    ASSERT_TRUE(testsupport::writeWithSndfile(quiet, SF_FORMAT_WAV | SF_FORMAT_FLOAT,
                                              testsupport::Channels(2, std::vector<float>(441000, 0.0f)),
                                              44100));
    ASSERT_TRUE(testsupport::writeSineFile(loud, 1.0, 440.0, 0.9));
    WaveformPicture picture;
    std::vector<std::pair<std::string, QImage>> delivered;
    for (const std::string& path : {quiet, loud})
        picture.requestPicture(
            PlaylistEntry::make(platform::Url::fileURLWithPath(path)), QSize(200, 60),
            [&delivered, path](const QImage& image) { delivered.emplace_back(path, image); });
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !delivered.empty(); }, 60.0));
    // Whatever the first extraction still posts is dropped.
    for (int i = 0; i < 20; ++i)
        platform::mainQueue().drainUntil([] { return false; }, 0.01);
    ASSERT_EQ(delivered.size(), 1u);
    EXPECT_EQ(delivered[0].first, loud);
    EXPECT_EQ(delivered[0].second.size(), QSize(200, 60));
    // Axis on the lower edge: a loud file's lines reach two thirds of the way up.
    EXPECT_GT(delivered[0].second.pixelColor(100, 30).alpha(), 128);
}

TEST_F(MainWindowTest, APictureThatArrivesFadesInFromTransparent) {
    start();
    view().setFirst(false);
    view().insertEntries({audioFile("a.wav", 10)});
    view().loadEntry(playlist().allEntries.at(0));
    ASSERT_FALSE(waveform->requests.empty());
    QImage image(40, 10, QImage::Format_RGB32);
    image.fill(Qt::blue);
    waveform->requests.back().second(image);
    auto* fade = qobject_cast<QGraphicsOpacityEffect*>(view().waveformView().graphicsEffect());
    ASSERT_NE(fade, nullptr);
    EXPECT_LT(fade->opacity(), 0.1);
    EXPECT_FALSE(view().waveformView().pixmap().isNull());

    // A resize asks again once the size has held still, at the new width.
    const std::size_t asked = waveform->requests.size();
    window->resize(700, 640);
    QApplication::processEvents();
    window->resize(760, 640);
    QApplication::processEvents();
    EXPECT_EQ(waveform->requests.size(), asked);
    scheduler.advance(0.3);
    platform::mainQueue().drain();
    EXPECT_EQ(waveform->requests.size(), asked + 1);

    // A settled resize that keeps the picture's width keeps the picture: only a new width decodes again.
    const int width = view().waveformView().width();
    window->resize(760, 720);
    QApplication::processEvents();
    scheduler.advance(0.3);
    platform::mainQueue().drain();
    ASSERT_EQ(view().waveformView().width(), width);
    EXPECT_EQ(waveform->requests.size(), asked + 1);
    window->resize(820, 720);
    QApplication::processEvents();
    scheduler.advance(0.3);
    platform::mainQueue().drain();
    EXPECT_EQ(waveform->requests.size(), asked + 2);
}

TEST_F(MainWindowTest, TheVolumeTakesOneGainPath) {
    start();
    struct Step {
        bool device;
        float set, stored, playerVolume;
        bool muted;
    };
    const Step steps[] = {
        {false, 1.3f, 1.0f, 1.0f, false}, // no sound card: the player carries it
        {false, 0.4f, 0.4f, 0.4f, false}, //
        {true, 0.7f, 0.7f, 1.0f, false},  // the device carries it, the player stays at 1
        {true, -0.2f, 0.0f, 1.0f, true},  // silence: the device stays muted
        {true, 0.03f, 0.03f, 1.0f, true}, //
        {true, 0.5f, 0.5f, 1.0f, false},  // raising it unmutes
    };
    for (const Step& s : steps) {
        if (s.device)
            outputDevice.device = 0x2au;
        else
            outputDevice.device.reset();
        view().setVolume(s.set);
        EXPECT_FLOAT_EQ(view().volume(), s.stored) << s.set;
        EXPECT_FLOAT_EQ(player->volume(), s.playerVolume) << s.set;
        EXPECT_EQ(outputDevice.muted, s.muted) << s.set;
        if (s.device) {
            EXPECT_NEAR(outputDevice.volume, s.stored, 1e-6) << s.set;
        }
    }
}

} // namespace
} // namespace vantle::testing
