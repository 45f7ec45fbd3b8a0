// A song whose file is still being written: each longer length the player takes shows in the row, the
// slider and the texts, yet only the length of the whole file changes the session or the picture.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/views/PlaylistTableModel.h"

#include <QImage>
#include <QSlider>

#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

class GrowingFileTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        session = audioFolder.url("Recording.vantle");
        writeSession(session, {audioFile("take.wav", 30), audioFile("next.wav", 20)}, 0);
        start();
        view().setFirst(false);
        ASSERT_TRUE(view().loadSession(session));
        ASSERT_FALSE(playlist().dirty);
    }

    // The player took a new length of the entry's file, as it does at each step of its writer.
    void lengthTaken(std::size_t row, double seconds, bool whole) {
        entry(row)->_cachedDuration = seconds;
        entry(row)->durationIsProvisional = !whole;
        player->delegate()->entryDurationChanged(entry(row));
    }
    std::string lengthCell(int row) {
        const PlaylistTableModel& model = view().tableView().playlistModel();
        return text(
            model.index(row, PlaylistTableModel::columnIndex(PlaylistColumn::Duration)).data().toString());
    }
    static QImage picture(Qt::GlobalColor colour) {
        QImage image(40, 10, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    }
    QRgb shownColour() { return view().waveformView().pixmap().toImage().pixel(0, 0); }

    platform::Url session;
};

TEST_F(GrowingFileTest, AGrowingLengthShowsButNeitherEditsTheSessionNorRedrawsThePicture) {
    auto* slider = dynamic_cast<QSlider*>(view().timeSlider().widget());
    ASSERT_NE(slider, nullptr);
    ASSERT_EQ(waveform->requests.size(), 1u);
    waveform->requests.back().second(picture(Qt::blue));
    ASSERT_EQ(shownColour(), QColor(Qt::blue).rgb());

    for (const double seconds : {31.0, 33.0, 34.0}) {
        SCOPED_TRACE(seconds);
        lengthTaken(0, seconds, false);
        EXPECT_EQ(slider->maximum(), int(seconds * 10));
        EXPECT_EQ(lengthCell(0), " 0:" + std::to_string(int(seconds)));
        EXPECT_FALSE(playlist().dirty) << "a length never stored is no edit";
        EXPECT_EQ(waveform->requests.size(), 1u) << "no analysis begun at a step of the writer";
        EXPECT_EQ(shownColour(), QColor(Qt::blue).rgb());
    }
    // Nor for an entry that is not current.
    lengthTaken(1, 21.0, false);
    EXPECT_FALSE(playlist().dirty);

    // Whole: the length is the session's, and the picture of the whole file replaces the one shown,
    // which stays until then.
    lengthTaken(0, 36.0, true);
    EXPECT_TRUE(playlist().dirty);
    EXPECT_EQ(slider->maximum(), 360);
    ASSERT_EQ(waveform->requests.size(), 2u);
    EXPECT_EQ(waveform->requests.back().first, entry(0));
    EXPECT_EQ(shownColour(), QColor(Qt::blue).rgb());
    waveform->requests.back().second(picture(Qt::green));
    EXPECT_EQ(shownColour(), QColor(Qt::green).rgb());
}

TEST_F(GrowingFileTest, AWriterThatStopsShortGetsThePictureOfWhatItLeftOnceQuiet) {
    ASSERT_EQ(waveform->requests.size(), 1u);
    waveform->requests.back().second(picture(Qt::blue));

    // Steps closer together than the quiet spell draw nothing.
    for (const double seconds : {31.0, 33.0, 34.0}) {
        lengthTaken(0, seconds, false);
        scheduler.advance(MainViewController::growingQuietSeconds - 1);
        platform::mainQueue().drain();
    }
    EXPECT_EQ(waveform->requests.size(), 1u);

    // The recorder died: the file stays short of its header's length, and is drawn as it is.
    scheduler.advance(1);
    platform::mainQueue().drain();
    ASSERT_EQ(waveform->requests.size(), 2u);
    EXPECT_EQ(waveform->requests.back().first, entry(0));
    EXPECT_EQ(shownColour(), QColor(Qt::blue).rgb()) << "kept until the new picture comes";
    waveform->requests.back().second(picture(Qt::green));
    EXPECT_EQ(shownColour(), QColor(Qt::green).rgb());

    // Nothing more while it stays as it is; nor for a row left before its writer fell quiet.
    scheduler.advance(MainViewController::growingQuietSeconds * 3);
    platform::mainQueue().drain();
    lengthTaken(0, 35.0, false);
    view().loadEntryAtRow(1);
    const std::size_t requested = waveform->requests.size();
    scheduler.advance(MainViewController::growingQuietSeconds * 3);
    platform::mainQueue().drain();
    EXPECT_EQ(waveform->requests.size(), requested);
    EXPECT_EQ(waveform->requests.back().first, entry(1));
}

TEST_F(GrowingFileTest, AFileWrittenAnewFromItsStartDropsThePictureOfTheOldOne) {
    ASSERT_EQ(waveform->requests.size(), 1u);
    waveform->requests.back().second(picture(Qt::blue));
    lengthTaken(0, 33.0, false);

    // Copied over by a new version: shorter, and still growing.
    lengthTaken(0, 4.0, false);
    EXPECT_TRUE(view().waveformView().pixmap().isNull()) << "the old recording's picture is not this file's";
    ASSERT_EQ(waveform->requests.size(), 2u);
    EXPECT_EQ(waveform->requests.back().first, entry(0));
    EXPECT_FALSE(playlist().dirty);
}

} // namespace
} // namespace vantle::testing
