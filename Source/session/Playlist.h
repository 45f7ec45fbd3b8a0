#pragma once
// The session document: the playlist with its entries, playback position, current entry,
// filter and undo history. Shared by reference (std::shared_ptr) between the main window and the
// exporter; main thread only (the exporter takes what it needs on the main thread).

#include "Source/session/AgeUnits.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/Undoer.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

class Playlist {
public:
    using EntryList = std::vector<std::shared_ptr<PlaylistEntry>>;
    // Tells whether the first entry belongs before the second.
    using EntryOrder = std::function<bool(const PlaylistEntry&, const PlaylistEntry&)>;

    Playlist() = default;
    // Decoding: "playlist" and "currentTime" are required; "ageUnits" must be one of the four
    // texts. A "currentItem" outside the list is taken as absent.
    explicit Playlist(const platform::KeyedDecoder& decoder);
    // "playlist", "currentItem", "currentTime", then the settings that are present.
    void encode(platform::KeyedEncoder& encoder) const;

    Playlist(const Playlist&) = delete;
    Playlist& operator=(const Playlist&) = delete;

    // Reads and decodes a session document (binary or XML property list). Unreadable, truncated
    // or malformed files give an error.
    static platform::Result<std::shared_ptr<Playlist>> read(const platform::Url& url);

    // ---- stored ----
    EntryList allEntries;
    double currentTime = 0;
    // The current entry's index as saved; -1 for none. Read once, by prepareAfterLoad.
    std::optional<std::int64_t> _currentItem;
    // Settings the document only carries.
    std::optional<AgeUnits> _ageUnits;
    std::optional<bool> automaticallyMoveToHistory;
    std::optional<std::string> _directoryPrefix;

    // ---- not stored ----
    TagSet includeTags;
    TagSet excludeTags;
    // The current entry; always an element of allEntries or null.
    std::shared_ptr<PlaylistEntry> assignedEntry;
    bool dirty = false;
    std::optional<platform::Url> url;
    std::string filterText;
    Undoer undoer;

    // The document's own prefix, else the user default "directoryPrefix", else "".
    std::string directoryPrefix() const;

    // The file this document was last read from or written to, with the size and a checksum of the
    // bytes it then held, and the folder that held it: what a save there expects to find. Set by
    // read() and save().
    struct FileVersion {
        std::string path;
        std::uint64_t size = 0;
        std::uint64_t checksum = 0;
        std::optional<platform::FolderIdentity> folder;
    };
    std::optional<FileVersion> fileVersion;

    // The list and each entry's key as the document was last read or written (empty for a session
    // never saved): what a crash would lose is measured against it.
    struct SavedLayout {
        EntryList entries;
        std::vector<int> keyShifts;
    };
    SavedLayout savedLayout;
    void rememberSavedLayout();

    // Whether a save may replace a file that was changed on disk since this document last read or
    // wrote it: only when the user has said so.
    enum class Overwrite { ifUnchanged, always };
    // How a save went; `reason` says why one failed, in the system's words ("read-only file system").
    struct SaveResult {
        enum class Status { written, changedOnDisk, folderReplaced, failed };
        Status status = Status::written;
        std::string reason;
        bool written() const { return status == Status::written; }
    };

    // Writes the document to `url` atomically: a failed encoding or write keeps the previous
    // file, leaves `dirty` set and prints "can't save " with the URL and the reason. Records the
    // current entry's index. Unless `overwrite` is `always`, a file at `url` that no longer holds
    // what this document last read or wrote there is left as it is (changedOnDisk), and so is one
    // whose bytes cannot be read to tell (failed). The file is looked at under a lock the saves of
    // other running copies take too, and again just before it is replaced: a write from elsewhere
    // in between is changedOnDisk as well, whatever `overwrite` says. A file that holds the encoded
    // bytes already is not written again. A link is written where it points. A file whose folder is no
    // longer the one it was read from or written to (a USB stick pulled leaves its empty mount point) is
    // never written there, whatever `overwrite` says (folderReplaced), unless it holds the file as this
    // document last read or wrote it (the stick mounted again).
    SaveResult save(const platform::Url& url, Overwrite overwrite = Overwrite::ifUnchanged);
    // Whether the file at `url` no longer holds what this document last read from or wrote to it.
    // No file there, or one this document never read or wrote, is no one's change to lose. An
    // error when the file is there but cannot be read.
    platform::Result<bool> changedOnDisk(const platform::Url& url) const;

    // After decoding: every entry starts a new, empty listening and the saved current entry
    // becomes current again.
    void prepareAfterLoad();

    // Adds the entry for an audio file, or moves the one already listed, in front of `before`
    // (at the end when `before` is null or not listed). A file that is not audio changes nothing.
    void insertEntry(const platform::Url& url, const std::shared_ptr<PlaylistEntry>& before = nullptr);
    // insertEntry for each URL in turn, with one look at the list for the whole batch: adding
    // thousands of files to a list of thousands takes time in proportion to their sum.
    void insertEntries(const std::vector<platform::Url>& urls,
                       const std::shared_ptr<PlaylistEntry>& before = nullptr);
    // The same with the entries of new files already made (measured elsewhere), none opened here: a
    // file with no made entry goes in only when it is listed already (it moves), and a listed file's
    // made entry is dropped.
    void insertEntries(const std::vector<platform::Url>& urls, const EntryList& made,
                       const std::shared_ptr<PlaylistEntry>& before = nullptr);

    // ---- sorting (PlaylistSorting.cpp) ----

    // Stable sorts as one undoable step ("sort", "sort by checkmark"): row 0 is then selected. A
    // list already in that order is left as it is, with no step.
    void sortEntries(const EntryOrder& order);
    void sortByCheckmark();

    // Orders of the table's columns: file name, full path, age (never played first, then longest
    // since last played) and check mark (checked first).
    static bool titleOrder(const PlaylistEntry& a, const PlaylistEntry& b);
    static bool directoryOrder(const PlaylistEntry& a, const PlaylistEntry& b);
    static EntryOrder ageOrder(const platform::Clock& clock = platform::Clock::system());
    static bool checkmarkOrder(const PlaylistEntry& a, const PlaylistEntry& b);
    // Whether the whole list keeps the order: no entry belongs before the one above it.
    bool isInOrder(const EntryOrder& order) const;

    // ---- filtered view (rows) ----

    // filterText lower-cased and split at every space (empty words included).
    std::vector<std::string> filterWords() const;
    // The entries that pass the filter, in list order; computed anew on each call.
    EntryList filteredEntries() const;
    std::optional<std::size_t> currentRow() const;
    std::optional<std::size_t> row(const std::shared_ptr<PlaylistEntry>& entry) const;
    // Null for a row outside the filtered list (negative included).
    std::shared_ptr<PlaylistEntry> visibleEntry(std::ptrdiff_t row) const;

    // Each looks at the first character of the text only; an empty text does nothing.
    // none -> include -> exclude -> none.
    void cycleTagFilter(std::string_view tag);
    void toggleIncludeTag(std::string_view tag);
    void toggleExcludeTag(std::string_view tag);

private:
    void recordListEdit(std::string name, EntryList sorted);
    using EntryMaker = std::function<std::shared_ptr<PlaylistEntry>(const platform::Url&)>;
    void insertEntryMadeBy(const platform::Url& url, const std::shared_ptr<PlaylistEntry>& before,
                           const EntryMaker& make);
    void insertEntriesMadeBy(const std::vector<platform::Url>& urls,
                             const std::shared_ptr<PlaylistEntry>& before, const EntryMaker& make);
};

} // namespace vantle
