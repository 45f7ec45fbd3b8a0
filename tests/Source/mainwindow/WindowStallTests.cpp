// The window's thread under the stall watch (tests/support/StallWatch.h) where it used to wait: closing
// the window waits for no work that nobody wants any more, and no zip's audio is read to draw or add it.

#include "Source/views/PlaylistTableModel.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/files/SongArchive.h"
#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/SlowFolders.h"
#include "tests/support/SongArchives.h"

#include <QAbstractItemModel>
#include <QMimeData>
#include <QSignalSpy>

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

// A song archive is measured by reading its audio whole, up to 256 MiB: the rows of a session that stored
// no lengths, drawn again and again, and a drop of a few zips read none of it on the window's thread.
TEST_F(MainWindowTest, ListedAndDroppedZipsAreMeasuredOffTheWindowsThread) {
    constexpr int zips = 6;
    const std::vector<std::uint8_t> audio = testsupport::readWholeFile(audioFile("song.wav", 60).path());
    std::vector<platform::Url> listed, dropped;
    for (int i = 0; i < 2 * zips; ++i) {
        const platform::Url zip = audioFolder.url("disc " + std::to_string(i) + ".zip");
        ASSERT_TRUE(
            testsupport::writeZip(zip.path(), {{"song.wav", audio}, {"song.cdg", testsupport::blankCdg()}}));
        (i < zips ? listed : dropped).push_back(zip);
    }
    const platform::Url document = audioFolder.url("Class.vantle");
    Playlist written;
    for (const platform::Url& zip : listed) {
        written.allEntries.push_back(PlaylistEntry::make(zip, AudioFileLength{}));
        written.allEntries.back()->_cachedDuration.reset();
    }
    written.save(document);

    const std::uint64_t readsHere = platform::songArchiveAudioReadsOnThisThread();
    start();
    view().openSessionAt(document);
    ASSERT_EQ(playlist().allEntries.size(), std::size_t(zips));
    for (int repaint = 0; repaint < 3; ++repaint) {
        view().tableView().viewport()->repaint();
        QApplication::processEvents();
    }
    QMimeData data;
    setFiles(data, dropped);
    EXPECT_TRUE(dropOnTable(data, 0));
    ASSERT_TRUE(platform::mainQueue().drainUntil([this] { return !view().adding(); }, 60));
    EXPECT_EQ(playlist().allEntries.size(), std::size_t(2 * zips));
    EXPECT_EQ(platform::songArchiveAudioReadsOnThisThread(), readsHere);
    stop();
}

// Each length counted and each song analysed in the background redraws its row: hundreds landing in one
// turn of the loop, in a list of 100,000, each redraw the row that shows the entry, and nothing filters the
// whole list for each.
TEST_F(MainWindowTest, RowsRedrawnOneByOneInALongListFindTheirRowsAtOnce) {
    start();
    Playlist::EntryList entries;
    for (int i = 0; i < 100000; ++i)
        entries.push_back(PlaylistEntry::make(
            platform::Url::fileURLWithPath("/nowhere/song " + std::to_string(i) + ".wav", false),
            AudioFileLength{60.0}));
    playlist().allEntries = entries;
    view().reloadTableSelecting({});
    QSignalSpy redrawn(view().tableView().model(), &QAbstractItemModel::dataChanged);
    {
        platform::WatchedApplication::Stretch landing("rows redrawn as their lengths land");
        for (std::size_t i = 7; i < entries.size(); i += 200)
            view().reloadEntryRow(entries[i]);
    }
    ASSERT_FALSE(redrawn.isEmpty());
    EXPECT_EQ(redrawn.first().at(0).toModelIndex().row(), 7);
    EXPECT_EQ(redrawn.last().at(0).toModelIndex().row(), 99807);
    // An entry no longer listed has no row to redraw.
    redrawn.clear();
    view().reloadEntryRow(PlaylistEntry::make(platform::Url::fileURLWithPath("/nowhere/gone.wav", false),
                                              AudioFileLength{60.0}));
    EXPECT_TRUE(redrawn.isEmpty());
    stop();
}

} // namespace
} // namespace vantle::testing
