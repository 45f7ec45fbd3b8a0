// What the window shows, read back from a grab of it.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include <gtest/gtest.h>


namespace vantle::testing {
namespace {

TEST_F(MainWindowTest, TheGrabbedWindowShowsTheCurrentEntry) {
    const platform::Url first = audioFile("Vals/first.wav", 75);
    const platform::Url second = audioFile("Vals/second.wav", 30);
    start();
    view().setFirst(false);
    view().insertEntries({first, second});

    // No entry: grey dashes, no red.
    QImage grab = window->grab().toImage();
    ASSERT_FALSE(grab.isNull());
    const QColor red(255, 59, 48);
    EXPECT_EQ(pixelsLike(grab, view().timeRemainingText(), red), 0);

    view().tableView().selectRows({0});
    grab = window->grab().toImage();
    // The texts are the display tests'; here what is drawn. The remaining time is drawn in red; the time
    // since the zero mark is not.
    EXPECT_GT(pixelsLike(grab, view().timeRemainingText(), red), 20);
    EXPECT_EQ(pixelsLike(grab, view().timeSinceZeroText(), red), 0);
    // The current row is highlighted, the other one is not.
    PlaylistTableView& table = view().tableView();
    const QColor highlight = table.palette().color(
        table.isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
    auto rowPixel = [&](int row) {
        const QRect rect = table.visualRect(table.playlistModel().index(row, 0));
        return pixel(grab, *table.viewport(), QPoint(rect.right() - 2, rect.center().y()));
    };
    const QColor selected = rowPixel(0);
    const QColor unselected = rowPixel(1);
    EXPECT_NE(selected, unselected);
    EXPECT_LT(std::abs(selected.red() - highlight.red()) + std::abs(selected.green() - highlight.green()) +
                  std::abs(selected.blue() - highlight.blue()),
              60);
}

} // namespace
} // namespace vantle::testing
