// What the window shows, read back from a grab of it.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

#include <gtest/gtest.h>

#include <filesystem>

namespace vantle::testing {
namespace {

// Pixels of the widget's area in the window's grab whose colour is close to the given one.
int pixelsLike(const QImage& grab, QWidget& window, QWidget& widget, const QColor& colour) {
    const QRect area(widget.mapTo(&window, QPoint(0, 0)), widget.size());
    const qreal scale = grab.devicePixelRatio();
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = grab.pixelColor(static_cast<int>(x * scale), static_cast<int>(y * scale));
            if (std::abs(pixel.red() - colour.red()) < 40 && std::abs(pixel.green() - colour.green()) < 40 &&
                std::abs(pixel.blue() - colour.blue()) < 40)
                ++count;
        }
    }
    return count;
}

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
    EXPECT_EQ(pixelsLike(grab, *window, view().timeRemainingText(), red), 0);

    view().tableView().selectRows({0});
    grab = window->grab().toImage();
    EXPECT_EQ(text(view().timeSinceZeroText().text()), " 0:00");
    EXPECT_EQ(text(view().timeRemainingText().text()), " 1:15");
    EXPECT_EQ(text(view().entryName().text()), " first.wav ");
    EXPECT_EQ(text(view().noteTextField().text()), audioFolder.path.substr(1) + "/Vals/");
    // The remaining time is drawn in red; the time since the zero mark is not.
    EXPECT_GT(pixelsLike(grab, *window, view().timeRemainingText(), red), 20);
    EXPECT_EQ(pixelsLike(grab, *window, view().timeSinceZeroText(), red), 0);
    // The current row is highlighted, the other one is not.
    PlaylistTableView& table = view().tableView();
    const QColor highlight = table.palette().color(
        table.isActiveWindow() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
    QWidget& viewport = *table.viewport();
    const QRect firstRow = table.visualRect(table.playlistModel().index(0, 0));
    const QRect secondRow = table.visualRect(table.playlistModel().index(1, 0));
    auto rowPixel = [&](const QRect& row) {
        const QPoint at = viewport.mapTo(window.get(), QPoint(row.right() - 2, row.center().y()));
        return grab.pixelColor(static_cast<int>(at.x() * grab.devicePixelRatio()),
                               static_cast<int>(at.y() * grab.devicePixelRatio()));
    };
    const QColor selected = rowPixel(firstRow);
    const QColor unselected = rowPixel(secondRow);
    EXPECT_NE(selected, unselected);
    EXPECT_LT(std::abs(selected.red() - highlight.red()) + std::abs(selected.green() - highlight.green()) +
                  std::abs(selected.blue() - highlight.blue()),
              60);
}

} // namespace
} // namespace vantle::testing
