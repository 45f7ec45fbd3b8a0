// The playlist's mark on songs with CD+G graphics beside them: found off the main thread, drawn in the
// title cell in its own colour, gone when the graphics go.

#include "Source/views/PlaylistCellDelegate.h"

#include "platform/dispatch/MainQueue.h"
#include "tests/Source/views/ViewsTestSupport.h"

#include <QImage>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace vantle::testing {
namespace {

TEST_F(PlaylistTableTest, SongsWithGraphicsBesideThemAreMarkedInTheTitleCell) {
    std::ofstream(folder.path + "/SONG.CDG") << "graphics";
    setEntries({folder.path + "/SONG.MP3", folder.path + "/plain.mp3", folder.path + "/Other.flac"});
    std::ofstream(folder.path + "/other.cdg") << "graphics";
    PlaylistTableModel& model = table->playlistModel();
    auto marked = [&](int row) {
        return model.index(row, 0).data(PlaylistTableModel::GraphicsRole).toBool();
    };
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return marked(0); }, 20.0));
    EXPECT_FALSE(marked(1));
    EXPECT_TRUE(marked(2)) << "a base name differing in case only";
    EXPECT_FALSE(model.index(0, 1).data(PlaylistTableModel::GraphicsRole).isValid()) << "title cells only";
    EXPECT_EQ(changed.count(), 1) << "one folder, one listing";
    EXPECT_EQ(model.index(0, 0).data().toString(), "SONG.MP3") << "the cell's text stays";

    QPalette palette = table->palette();
    palette.setColor(QPalette::Base, Qt::white);
    table->setPalette(palette);
    const QImage image = table->viewport()->grab().toImage();
    const QColor tint = PlaylistCellDelegate::graphicsTint();
    auto tintedPixels = [&](int row) {
        const QRect rect = table->visualRect(model.index(row, 0));
        int count = 0;
        for (int x = rect.center().x(); x <= rect.right(); ++x)
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                const QColor c = image.pixelColor(x, y);
                count += std::abs(c.red() - tint.red()) < 40 && std::abs(c.green() - tint.green()) < 40 &&
                         std::abs(c.blue() - tint.blue()) < 40 && c.saturation() > 100;
            }
        return count;
    };
    EXPECT_GT(tintedPixels(0), 0) << "the mark is drawn";
    EXPECT_EQ(tintedPixels(1), 0);

    // The graphics gone: the mark goes after the next reload's listing.
    std::filesystem::remove(folder.path + "/SONG.CDG");
    table->reloadTable();
    EXPECT_TRUE(marked(0)) << "the old answer stands until the folder is listed again";
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return !marked(0); }, 20.0));
    EXPECT_TRUE(marked(2));
}

} // namespace
} // namespace vantle::testing
