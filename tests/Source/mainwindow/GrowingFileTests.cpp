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

} // namespace
} // namespace vantle::testing
