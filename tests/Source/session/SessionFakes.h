#pragma once
// Fakes of the main window, the menu items and the player, and small fixtures, for the session
// model's tests.

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/MenuItem.h"
#include "Source/session/PlayerServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle::testing {

class FakeMenuItem final : public MenuItem {
public:
    void setEnabled(bool value) override { enabled = value; }
    void setTitle(const std::string& value) override { title = value; }
    bool enabled = true;
    std::string title = "untouched";
};

// Keeps a log of what the session model asked for. Like the real window, it loads an entry after
// a list edit only when nothing plays or the playing entry left the list.
class FakeMainWindow final : public MainWindowServices {
public:
    std::shared_ptr<Playlist> playlist() const override { return document; }
    std::optional<platform::Url> sessionURL() const override { return session; }
    RowIndexes selectedRows() const override { return selection; }
    void selectRows(const RowIndexes& rows) override { selection = rows; }
    void loadEntryAtRowAfterListEdit(std::size_t row) override {
        loadRequests.push_back(row);
        if (playing && playing == document->assignedEntry) {
            for (const auto& entry : document->allEntries)
                if (entry == playing) return;
        }
        if (auto entry = document->visibleEntry(static_cast<std::ptrdiff_t>(row))) {
            document->assignedEntry = entry;
            loadedEntries.push_back(entry);
        }
    }
    void reloadTableSelecting(const RowIndexes& rows) override {
        reloads.push_back(rows);
        selection = rows;
    }
    void rebuildAttachmentStack(const std::shared_ptr<PlaylistEntry>& entry) override {
        rebuiltFor.push_back(entry);
    }
    void reloadEntryRow(const std::shared_ptr<PlaylistEntry>& entry) override {
        reloadedRows.push_back(entry);
    }
    void entryRecordsChanged() override { ++recordsShown; }

    std::shared_ptr<Playlist> document = std::make_shared<Playlist>();
    std::optional<platform::Url> session;
    RowIndexes selection;
    std::shared_ptr<PlaylistEntry> playing; // the entry that plays, if any
    std::vector<std::size_t> loadRequests;
    std::vector<std::shared_ptr<PlaylistEntry>> loadedEntries;
    std::vector<RowIndexes> reloads;
    std::vector<std::shared_ptr<PlaylistEntry>> rebuiltFor;
    std::vector<std::shared_ptr<PlaylistEntry>> reloadedRows;
    int recordsShown = 0;
};

// Registers a fake window and menu items for the lifetime of a test.
class ScopedFakeApp {
public:
    ScopedFakeApp() {
        AppServices::setMainWindow(&window);
        AppServices::setMenuItems(&undoItem, &redoItem);
    }
    ~ScopedFakeApp() {
        AppServices::setMainWindow(nullptr);
        AppServices::setMenuItems(nullptr, nullptr);
    }
    ScopedFakeApp(const ScopedFakeApp&) = delete;
    ScopedFakeApp& operator=(const ScopedFakeApp&) = delete;

    FakeMainWindow window;
    FakeMenuItem undoItem;
    FakeMenuItem redoItem;
};

class FakePlayer final : public PlayerServices {
public:
    PlayerMode mode() const override { return playerMode; }
    std::shared_ptr<PlaylistEntry> entry() const override { return playerEntry; }
    bool isPlaying() const override { return playing; }
    double currentTime() const override { return fileTime; }
    double desiredTime() const override { return startTime; }

    PlayerMode playerMode = PlayerMode::dance;
    std::shared_ptr<PlaylistEntry> playerEntry;
    bool playing = false;
    double fileTime = 0;
    double startTime = 0;
};

// The temporary folder with file URLs of what it holds.
class SessionTempFolder : public testsupport::TemporaryFolder {
public:
    platform::Url url(const std::string& name) const {
        return platform::Url::fileURLWithPath(path + "/" + name, false);
    }
};

// A silent 16-bit mono WAV file of the given length at 1000 frames per second.
inline platform::Url writeSilentWav(const platform::Url& url, double seconds) {
    const testsupport::Channels silence(1, std::vector<float>(std::size_t(seconds * 1000)));
    if (!testsupport::writeWithSndfile(url.path(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, silence, 1000))
        return {};
    return url;
}

// The keys of a property-list dictionary, in stored order.
inline std::vector<std::string> dictionaryKeys(const platform::PlistValue& tree) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : *tree.asDictionary())
        keys.push_back(key);
    return keys;
}

// The file names of the entries, in order.
inline std::vector<std::string> fileNames(const Playlist::EntryList& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry->_url.lastPathComponent());
    return names;
}

// A listening of the given spans.
inline std::shared_ptr<TimeRangeSet> heardSpans(std::vector<TimeRange> ranges) {
    auto made = std::make_shared<TimeRangeSet>();
    made->ranges = std::move(ranges);
    return made;
}

// An entry as a session document stores it, with nothing but the two keys it needs, and more when given.
inline platform::PlistDictionary entryRecord(const std::string& url,
                                             const platform::PlistDictionary& more = {}) {
    platform::PlistDictionary record{
        {"_url", platform::PlistDictionary{{"relative", url}}},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}}};
    for (const auto& [key, value] : more)
        record.set(key, value);
    return record;
}

inline std::shared_ptr<PlaylistEntry> decodedEntry(const std::string& url,
                                                   const platform::PlistDictionary& more = {}) {
    return platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(
               platform::PlistValue(entryRecord(url, more)))
        .value();
}

} // namespace vantle::testing
