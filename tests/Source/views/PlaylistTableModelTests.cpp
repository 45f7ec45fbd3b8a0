#include "Source/session/TimeRange.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/views/PlaylistTableModel.h"

#include "tests/Source/views/ViewsTestSupport.h"

#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <filesystem>

namespace vantle::testing {
namespace {

using Column = PlaylistColumn;

TEST_F(PlaylistTableTest, ColumnsAreNamedByTheirIdentifiers) {
    PlaylistTableModel& model = table->playlistModel();
    QStringList shown;
    for (int section = 0; section < model.columnCount(); ++section)
        shown << model.headerData(section, Qt::Horizontal, PlaylistTableModel::IdentifierRole).toString();
    EXPECT_EQ(shown, QStringList({"TitleColumn", "DirectoryColumn", "DurationColumn", "PlayedColumn",
                                  "AgeColumn", "CheckedColumn", "TempoColumn"}));
    EXPECT_EQ(PlaylistTableModel::allColumnIdentifiers(),
              QStringList({"PlayedColumn", "AgeColumn", "CheckedColumn", "DirectoryColumn", "DurationColumn",
                           "TitleColumn", "TempoColumn"}));
    EXPECT_FALSE(PlaylistTableModel::columnWithIdentifier("NoSuchColumn"));
}

TEST_F(PlaylistTableTest, DirectoryCellLeavesOutTheDirectoryPrefix) {
    setEntries({"/Music/Salsa/song.mp3", "/Musicals/show.mp3", "/song.mp3"});

    // No prefix in the session or the user defaults: the empty prefix takes the leading "/" off.
    EXPECT_EQ(cell(0, Column::Directory), "Music/Salsa/");

    playlist()._directoryPrefix = "/Music";
    EXPECT_EQ(cell(0, Column::Directory), "Salsa/");
    // A prefix that names only the beginning of a folder name does not count.
    EXPECT_EQ(cell(1, Column::Directory), "/Musicals/");

    // Without one of the session's own, the user default counts.
    playlist()._directoryPrefix.reset();
    platform::UserDefaults::standard().setString("directoryPrefix", "/Music/Salsa");
    EXPECT_EQ(cell(0, Column::Directory), "");
}

TEST_F(PlaylistTableTest, TitleCellDropsOneAudioExtensionAndAppendsTheTags) {
    auto entries = setEntries({"/a/song.m4a.mp3", "/a/song.mp3.m4a", "/a/song.mp3", "/a/tone.wav"});
    entries[2]->tags = "AB";
    entries[3]->tags = "";
    EXPECT_EQ(cell(0, Column::Title), "song");
    EXPECT_EQ(cell(1, Column::Title), "song.mp3");
    EXPECT_EQ(cell(2, Column::Title), "songAB");
    EXPECT_EQ(cell(3, Column::Title), "tone.wav");
}

// A song archive is titled by the audio inside it, once that is known, as that file would be.
TEST_F(PlaylistTableTest, ASongArchiveIsTitledByItsAudio) {
    auto entries = setEntries({"/k/Disc 01.zip", "/k/Disc 02.zip", "/k/Disc 03.zip"});
    entries[0]->archivedAudio = "Singer - Song.mp3";
    entries[1]->archivedAudio = "folder/Other Song.wav";
    entries[1]->tags = "K";
    EXPECT_EQ(cell(0, Column::Title), "Singer - Song");
    EXPECT_EQ(cell(1, Column::Title), "Other Song.wavK");
    EXPECT_EQ(cell(2, Column::Title), "Disc 03.zip") << "not opened yet";
}

TEST_F(PlaylistTableTest, DurationCellShowsWholeMinutesAndSecondsOfTheFile) {
    auto longer = PlaylistEntry::make(writeSilentWav(folder.url("long.wav"), 187.9));
    auto gone = PlaylistEntry::make(writeSilentWav(folder.url("gone.wav"), 2.0));
    ASSERT_TRUE(longer && gone);
    std::filesystem::remove(gone->_url.path());
    gone->_cachedDuration.reset();
    // A length taken from a file's size and bit rate is marked as such until the file is counted.
    auto estimated = PlaylistEntry::make(writeSilentWav(folder.url("estimated.wav"), 629.4));
    auto shortEstimate = PlaylistEntry::make(writeSilentWav(folder.url("short.wav"), 5.0));
    ASSERT_TRUE(estimated && shortEstimate);
    estimated->durationIsEstimate = shortEstimate->durationIsEstimate = true;
    playlist().allEntries = {longer, gone, estimated, shortEstimate};
    table->reloadTable();
    EXPECT_EQ(cell(0, Column::Duration), " 3:07");
    EXPECT_EQ(cell(1, Column::Duration), "?");
    EXPECT_EQ(cell(2, Column::Duration), "\u224810:29");
    EXPECT_EQ(cell(3, Column::Duration), "\u22480:05");
    estimated->durationIsEstimate = false;
    EXPECT_EQ(cell(2, Column::Duration), "10:29");
}

TEST_F(PlaylistTableTest, PlayedCellGivesTheCoveredShareOfTheCurrentListening) {
    auto entries = setEntries({"/a/whole.mp3", "/a/half.mp3", "/a/empty.mp3", "/a/fresh.mp3"});
    entries[0]->currentTimeRangeSet = heardSpans({TimeRange{0.0, 1.0}});
    entries[1]->currentTimeRangeSet = heardSpans({TimeRange{0.25, 0.75}});
    entries[2]->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    entries[3]->currentTimeRangeSet.reset();
    // Earlier listenings do not count.
    entries[2]->prevTimeRangeSet.ranges = {TimeRange{0.0, 1.0}};

    auto played = [&](int row) {
        QModelIndex index =
            table->playlistModel().index(row, PlaylistTableModel::columnIndex(Column::Played));
        EXPECT_FALSE(index.data(Qt::DisplayRole).isValid());
        return index.data(PlaylistTableModel::PlayedValueRole).toDouble();
    };
    EXPECT_EQ((std::vector<double>{played(0), played(1), played(2), played(3)}),
              (std::vector<double>{100, 50, 0, 0}));
    // An entry without a listening gets an empty one.
    ASSERT_TRUE(entries[3]->currentTimeRangeSet);
    EXPECT_TRUE(entries[3]->currentTimeRangeSet->ranges.empty());
}

TEST_F(PlaylistTableTest, AgeCellCountsLocalDaysSinceLastPlayedInTheUsersNumberFormat) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    auto entries = setEntries({"/a/yesterday.mp3", "/a/today.mp3", "/a/never.mp3", "/a/long-ago.mp3"});
    const platform::Date now = clock.now();
    entries[0]->playedDates = {now.addingTimeInterval(-86400.0 * 20), now.addingTimeInterval(-86400.0)};
    // Earlier today (the clock stands at 22:13 UTC).
    entries[1]->playedDates = {now.addingTimeInterval(-22 * 3600.0)};
    entries[3]->playedDates = {now.addingTimeInterval(-86400.0 * 1234)};

    auto ages = [&] {
        return std::vector<std::string>{cell(0, Column::Age), cell(1, Column::Age), cell(2, Column::Age),
                                        cell(3, Column::Age)};
    };
    EXPECT_EQ(ages(), (std::vector<std::string>{"1", "0", "", "1,234"}));

    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(cell(3, Column::Age), "1.234");
    QLocale::setDefault(previous);
}

TEST_F(PlaylistTableTest, CheckedCellShowsACheckMarkOrOneSpace) {
    auto entries = setEntries({"/a/checked.mp3", "/a/plain.mp3"});
    entries[0]->isCheckmarked = true;
    EXPECT_EQ(cell(0, Column::Checked), "\u2713");
    EXPECT_EQ(cell(1, Column::Checked), " ");
}

TEST_F(PlaylistTableTest, RowsAreTheEntriesThatPassTheFilterAsOfTheLastReload) {
    setEntries({"/a/Salsa Slow.mp3", "/a/salsa fast.mp3", "/a/slow waltz.mp3", "/a/SLOW SALSA.mp3"});
    PlaylistTableModel& model = table->playlistModel();
    EXPECT_EQ(model.rowCount(), 4);

    playlist().filterText = "salsa slow";
    table->reloadTable();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(cell(1, Column::Title), "SLOW SALSA");
    // Outside the rows there is nothing.
    EXPECT_FALSE(model.index(2, 0).data().isValid());
    EXPECT_FALSE(model.entryAtRow(-1));

    // No playlist: no rows.
    table->setPlaylist(nullptr);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(PlaylistTableTest, ReloadingOneEntryRepaintsItsRowAndAlwaysRefreshesTheDisplay) {
    auto entries = setEntries({"/a/one.mp3", "/a/two.mp3", "/b/three.mp3"});
    QSignalSpy changed(&table->playlistModel(), &QAbstractItemModel::dataChanged);
    const int refreshes = mainView.displayRefreshes;

    entries[1]->isCheckmarked = true;
    table->reloadEntryRow(entries[1]);
    QSet<int> columns;
    for (const QList<QVariant>& signal : changed) {
        EXPECT_EQ(signal.at(0).value<QModelIndex>().row(), 1);
        columns.insert(signal.at(0).value<QModelIndex>().column());
    }
    EXPECT_EQ(columns.size(), 7);
    EXPECT_EQ(mainView.displayRefreshes, refreshes + 1);

    // A filtered-out entry has no row to repaint; the display is refreshed all the same.
    playlist().filterText = "one";
    table->reloadTable();
    changed.clear();
    table->reloadEntryRow(entries[2]);
    EXPECT_TRUE(changed.isEmpty());
    EXPECT_EQ(mainView.displayRefreshes, refreshes + 2);
}

} // namespace
} // namespace vantle::testing
