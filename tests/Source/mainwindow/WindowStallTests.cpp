// The window's thread under the stall watch (tests/support/StallWatch.h) where it used to wait: closing
// the window waits for no work that nobody wants any more.

#include "Source/views/PlaylistTableModel.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/SlowFolders.h"

#include <QAbstractItemModel>

#include <string>
#include <vector>

namespace vantle::testing {
namespace {

// Each row asks for its CD+G mark, which lists the song's folder on a worker: a collection on a slow
// share queues a listing per folder. Closing the window (stop(), watched) must not wait for them.
TEST_F(MainWindowTest, ClosingTheWindowWaitsForNoCdgFolderListing) {
    testsupport::SlowFolders slow;
    writeSilentWav(platform::Url::fileURLWithPath(slow.real() + "/song.wav"), 1);
    std::vector<platform::Url> songs;
    for (int folder = 0; folder < 40; ++folder)
        songs.push_back(
            platform::Url::fileURLWithPath(slow.folder("share" + std::to_string(folder)) + "/song.wav"));
    start();
    view().insertEntries(songs);
    ASSERT_EQ(playlist().allEntries.size(), songs.size());
    QAbstractItemModel& rows = *view().tableView().model();
    for (int row = 0; row < rows.rowCount(); ++row)
        (void)rows.index(row, PlaylistTableModel::columnIndex(PlaylistColumn::Title))
            .data(PlaylistTableModel::GraphicsRole);
    stop();
}

} // namespace
} // namespace vantle::testing
