#pragma once
// A fake main view controller around a real playlist table, and playlist fixtures, for the views'
// tests.

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/views/PlaylistTableDelegate.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/Clocks.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle::testing {

// Stands in for the main view controller: implements what the table and the session model ask of
// it, the way the real one does, and logs the calls.
class FakeMainView final : public PlaylistTableDelegate, public MainWindowServices {
public:
    // ---- MainWindowServices ----
    std::shared_ptr<Playlist> playlist() const override { return document; }
    std::optional<platform::Url> sessionURL() const override { return std::nullopt; }
    RowIndexes selectedRows() const override { return table->selectedRows(); }
    void selectRows(const RowIndexes& rows) override { table->selectRows(rows); }
    void loadEntryAtRowAfterListEdit(std::size_t row) override {
        if (!playing) loadEntryAtRow(static_cast<std::ptrdiff_t>(row));
    }
    void reloadTableSelecting(const RowIndexes& rows) override { table->reloadTableSelecting(rows); }
    void rebuildAttachmentStack(const std::shared_ptr<PlaylistEntry>&) override {}

    // ---- PlaylistTableDelegate ----
    bool isPlaying() const override { return playing; }
    void loadEntry(const std::shared_ptr<PlaylistEntry>& entry) override {
        loadedEntries.push_back(entry);
        document->assignedEntry = entry;
    }
    void loadEntryAtRow(std::ptrdiff_t row) override {
        loadedRows.push_back(row);
        document->assignedEntry = document->visibleEntry(row);
    }
    void clearSearchField() override {
        ++searchFieldClears;
        document->filterText.clear();
        table->reloadTable();
    }
    void refreshDisplay() override { ++displayRefreshes; }

    std::shared_ptr<Playlist> document = std::make_shared<Playlist>();
    PlaylistTableView* table = nullptr;
    bool playing = false;
    std::vector<std::shared_ptr<PlaylistEntry>> loadedEntries;
    std::vector<std::ptrdiff_t> loadedRows;
    int searchFieldClears = 0;
    int displayRefreshes = 0;
};

// A shown table over an empty playlist, wired to a fake main view registered as the application's
// main window, with Undo and Redo menu items, a fake clock and empty user defaults.
class PlaylistTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::UserDefaults::setStandardFolder(defaultsFolder.path);
        AppServices::setMainWindow(&mainView);
        AppServices::setMenuItems(&undoItem, &redoItem);
        table = std::make_unique<PlaylistTableView>();
        mainView.table = table.get();
        table->setTableDelegate(&mainView);
        table->setClock(clock);
        table->setPlaylist(mainView.document);
        table->resize(900, 400);
        table->show();
        wav = writeSilentWav(folder.url("one-second.wav"), 1.0);
    }

    void TearDown() override {
        table.reset();
        AppServices::setMainWindow(nullptr);
        AppServices::setMenuItems(nullptr, nullptr);
        platform::UserDefaults::setStandardFolder(platform::UserDefaults::defaultFolder());
    }

    Playlist& playlist() { return *mainView.document; }

    // An entry that claims to be the file at `path`; it is made from a real one-second WAV file
    // and keeps that duration.
    std::shared_ptr<PlaylistEntry> entryAt(const std::string& path) {
        std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(wav);
        EXPECT_TRUE(entry);
        entry->_url = platform::Url::fileURLWithPath(path, false);
        return entry;
    }

    // Replaces the playlist's entries with entries for the paths, then reloads the table.
    std::vector<std::shared_ptr<PlaylistEntry>> setEntries(const std::vector<std::string>& paths) {
        std::vector<std::shared_ptr<PlaylistEntry>> made;
        for (const std::string& path : paths)
            made.push_back(entryAt(path));
        playlist().allEntries = made;
        table->reloadTable();
        return made;
    }

    std::vector<std::string> order() { return fileNames(playlist().allEntries); }

    // The text shown in a cell.
    std::string cell(int row, PlaylistColumn column) {
        QModelIndex index = table->playlistModel().index(row, PlaylistTableModel::columnIndex(column));
        return index.data().toString().toStdString();
    }

    SessionTempFolder folder;
    SessionTempFolder defaultsFolder;
    testsupport::FakeClock clock{platform::Date::fromUnix(1'700'000'000.0)}; // 2023-11-14 22:13:20 UTC
    FakeMainView mainView;
    FakeMenuItem undoItem;
    FakeMenuItem redoItem;
    std::unique_ptr<PlaylistTableView> table;
    platform::Url wav;
};

} // namespace vantle::testing
