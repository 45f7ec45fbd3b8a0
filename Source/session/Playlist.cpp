#include "Source/session/Playlist.h"

#include "Source/session/UrlCoding.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/UserDefaults.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <list>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace vantle {

Playlist::Playlist(const platform::KeyedDecoder& decoder) {
    allEntries = decoder.decode<EntryList>("playlist");
    _currentItem = decoder.decodeIfPresent<std::int64_t>("currentItem");
    currentTime = decoder.decode<double>("currentTime");
    _ageUnits = decoder.decodeIfPresent<AgeUnits>("ageUnits");
    automaticallyMoveToHistory = decoder.decodeIfPresent<bool>("automaticallyMoveToHistory");
    _directoryPrefix = decoder.decodeIfPresent<std::string>("directoryPrefix");
    // Only a file written elsewhere can point past the list; such an index means no entry.
    if (_currentItem && *_currentItem >= static_cast<std::int64_t>(allEntries.size())) _currentItem.reset();
}

void Playlist::encode(platform::KeyedEncoder& encoder) const {
    encoder.encode("playlist", allEntries);
    encoder.encodeIfPresent("currentItem", _currentItem);
    encoder.encode("currentTime", currentTime);
    encoder.encodeIfPresent("ageUnits", _ageUnits);
    encoder.encodeIfPresent("automaticallyMoveToHistory", automaticallyMoveToHistory);
    encoder.encodeIfPresent("directoryPrefix", _directoryPrefix);
}

namespace {

// A checksum of the whole document: a change anywhere in it (a tag on one row of thousands, a check
// mark that keeps the size) must show. The library's byte hash is fast enough to run at every save;
// it need only agree with itself within one run.
Playlist::FileVersion playlistFileVersion(const std::string& path, const platform::Bytes& bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return Playlist::FileVersion{path, bytes.size(), std::hash<std::string_view>{}(text), std::nullopt};
}

// Whether `bytes`, just read from `path`, are still what `version` says was read or written there.
bool playlistStillHolds(const Playlist::FileVersion& version, const std::string& path,
                        const platform::Bytes& bytes) {
    const Playlist::FileVersion now = playlistFileVersion(path, bytes);
    return now.size == version.size && now.checksum == version.checksum;
}

} // namespace

platform::Result<std::shared_ptr<Playlist>> Playlist::read(const platform::Url& url) {
    platform::Result<platform::Bytes> bytes = platform::readFile(url.path());
    if (!bytes) return bytes.error();
    platform::Result<std::shared_ptr<Playlist>> document =
        platform::decodePlist<std::shared_ptr<Playlist>>(*bytes);
    if (document && *document) {
        Playlist& read = **document;
        read.fileVersion = playlistFileVersion(url.path(), *bytes);
        if (platform::Result<std::string> target = platform::saveTargetOf(url.path()))
            read.fileVersion->folder = platform::folderIdentityOf(*target);
        read.rememberSavedLayout();
    }
    return document;
}

platform::Result<bool> Playlist::changedOnDisk(const platform::Url& target) const {
    if (!fileVersion || fileVersion->path != target.path()) return false;
    platform::Result<platform::Bytes> bytes = platform::readFile(target.path());
    if (!bytes) {
        if (bytes.error().code == ENOENT) return false;
        return bytes.error();
    }
    return !playlistStillHolds(*fileVersion, target.path(), *bytes);
}

std::string Playlist::directoryPrefix() const {
    if (_directoryPrefix) return *_directoryPrefix;
    return platform::UserDefaults::standard().string("directoryPrefix").value_or(std::string());
}

Playlist::SaveResult Playlist::save(const platform::Url& target, Overwrite overwrite) {
    auto failed = [&](const platform::Error& error) {
        SaveResult result{SaveResult::Status::failed, platform::fileErrorReason(error)};
        platform::consolePrint("can't save " + target.absoluteString() + ": " + result.reason);
        return result;
    };
    _currentItem = -1;
    if (assignedEntry) {
        auto found = std::find_if(allEntries.begin(), allEntries.end(), [&](const auto& entry) {
            return entry && entry->_url == assignedEntry->_url;
        });
        if (found != allEntries.end()) _currentItem = found - allEntries.begin();
    }
    // A text that is not UTF-8 (a folder name in a legacy encoding) cannot be encoded; that is
    // reported like a failed write. Writing goes through a temporary file, so a failed write
    // never costs the user the previous file.
    platform::Result<platform::Bytes> bytes = platform::encodePlist(*this);
    if (!bytes) return failed(bytes.error());
    // The file is looked at under the save's lock, and again just before it is replaced, so that
    // another window's write in between is never lost.
    std::optional<platform::Error> unreadable;
    bool changed = false;
    bool folderReplaced = false;
    std::optional<platform::FolderIdentity> folder;
    platform::Result<platform::CheckedSave> saved = platform::saveFileChecked(
        target.path(), platform::readFileSizeLimit, [&](const platform::FoundFile& found) {
            folder = found.folder;
            // No folder at all fails the write, as it should; another folder in its place is no failure.
            // One that holds the file as it was last read or written is the same folder to the user: a
            // stick mounted again, or a FAT folder the system numbered anew when it read it again.
            if (fileVersion && fileVersion->path == target.path() && fileVersion->folder && found.folder &&
                *found.folder != *fileVersion->folder &&
                !(found.stamp && !found.unreadable &&
                  playlistStillHolds(*fileVersion, target.path(), found.bytes))) {
                folderReplaced = true;
                return platform::SaveChoice::leaving();
            }
            if (overwrite == Overwrite::ifUnchanged && found.stamp && fileVersion &&
                fileVersion->path == target.path()) {
                if (found.unreadable) {
                    unreadable = found.unreadable;
                    return platform::SaveChoice::leaving();
                }
                if (!playlistStillHolds(*fileVersion, target.path(), found.bytes)) {
                    changed = true;
                    return platform::SaveChoice::leaving();
                }
            }
            return platform::SaveChoice::writing(*bytes);
        });
    if (!saved) return failed(saved.error());
    if (folderReplaced) {
        platform::consolePrint("not saved " + target.absoluteString() +
                               ": its folder is no longer the one the session was read from or saved in");
        return SaveResult{SaveResult::Status::folderReplaced, {}};
    }
    if (unreadable) return failed(*unreadable);
    if (changed || saved->status == platform::CheckedSave::Status::changedOnDisk)
        return SaveResult{SaveResult::Status::changedOnDisk, {}};
    url = target;
    fileVersion = playlistFileVersion(target.path(), *bytes);
    fileVersion->folder = folder;
    rememberSavedLayout();
    dirty = false;
    return {};
}

void Playlist::rememberSavedLayout() {
    savedLayout.entries = allEntries;
    savedLayout.keyShifts.clear();
    savedLayout.keyShifts.reserve(allEntries.size());
    for (const auto& entry : allEntries)
        savedLayout.keyShifts.push_back(entry ? entry->keyShift : 0);
}

void Playlist::prepareAfterLoad() {
    for (const auto& entry : allEntries) {
        if (!entry) continue;
        entry->listeningAsRead = std::move(entry->currentTimeRangeSet);
        entry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    }
    if (_currentItem && *_currentItem >= 0 && *_currentItem < static_cast<std::int64_t>(allEntries.size()))
        assignedEntry = allEntries[static_cast<std::size_t>(*_currentItem)];
}

void Playlist::insertEntry(const platform::Url& fileURL, const std::shared_ptr<PlaylistEntry>& before) {
    insertEntryMadeBy(fileURL, before, [](const platform::Url& url) { return PlaylistEntry::make(url); });
}

void Playlist::insertEntryMadeBy(const platform::Url& fileURL, const std::shared_ptr<PlaylistEntry>& before,
                                 const EntryMaker& make) {
    auto sameFile = [&](const platform::Url& wanted) {
        return
            [&wanted](const std::shared_ptr<PlaylistEntry>& entry) { return entry && entry->_url == wanted; };
    };
    std::shared_ptr<PlaylistEntry> entry;
    auto listed = std::find_if(allEntries.begin(), allEntries.end(), sameFile(fileURL));
    if (listed != allEntries.end()) {
        entry = *listed;
        allEntries.erase(listed);
    } else {
        entry = make(fileURL);
        if (!entry) return;
    }
    auto at = allEntries.end();
    if (before) at = std::find_if(allEntries.begin(), allEntries.end(), sameFile(before->_url));
    allEntries.insert(at, std::move(entry));
    dirty = true;
}

void Playlist::insertEntries(const std::vector<platform::Url>& urls,
                             const std::shared_ptr<PlaylistEntry>& before) {
    insertEntriesMadeBy(urls, before, [](const platform::Url& url) { return PlaylistEntry::make(url); });
}

void Playlist::insertEntries(const std::vector<platform::Url>& urls, const EntryList& made,
                             const std::shared_ptr<PlaylistEntry>& before) {
    std::unordered_map<platform::Url, std::shared_ptr<PlaylistEntry>> byFile;
    byFile.reserve(made.size());
    for (const std::shared_ptr<PlaylistEntry>& entry : made)
        if (entry) byFile.emplace(entry->_url, entry);
    insertEntriesMadeBy(urls, before, [&byFile](const platform::Url& url) {
        auto found = byFile.find(url);
        return found == byFile.end() ? nullptr : found->second;
    });
}

void Playlist::insertEntriesMadeBy(const std::vector<platform::Url>& urls,
                                   const std::shared_ptr<PlaylistEntry>& before, const EntryMaker& make) {
    // A linked list with an index by file keeps each step of insertEntry to constant time: find the
    // listed entry, take it out, find the anchor, put the entry in front of it.
    using Order = std::list<std::shared_ptr<PlaylistEntry>>;
    Order order(allEntries.begin(), allEntries.end());
    std::unordered_map<platform::Url, Order::iterator> listed;
    listed.reserve(order.size() + urls.size());
    std::unordered_set<platform::Url> twice;
    for (auto at = order.begin(); at != order.end(); ++at)
        if (*at && !listed.emplace((*at)->_url, at).second) twice.insert((*at)->_url);
    // Two entries of one file (a document written elsewhere, a file relocated onto a listed one)
    // leave "the first listed" to the one-by-one search, when the batch moves one of them or adds in
    // front of one; the other files of the list are listed once and the index holds them exactly.
    const auto touchesTwice = [&] {
        if (twice.empty()) return false;
        if (before && twice.count(before->_url)) return true;
        return std::any_of(urls.begin(), urls.end(),
                           [&](const platform::Url& url) { return twice.count(url) > 0; });
    };
    if (touchesTwice()) {
        for (const platform::Url& url : urls)
            insertEntryMadeBy(url, before, make);
        return;
    }
    bool inserted = false;
    for (const platform::Url& url : urls) {
        std::shared_ptr<PlaylistEntry> entry;
        if (auto found = listed.find(url); found != listed.end()) {
            entry = *found->second;
            order.erase(found->second);
            listed.erase(found);
        } else {
            entry = make(url);
            if (!entry) continue;
        }
        auto at = order.end();
        if (before)
            if (auto anchor = listed.find(before->_url); anchor != listed.end()) at = anchor->second;
        listed.emplace(url, order.insert(at, std::move(entry)));
        inserted = true;
    }
    if (!inserted) return;
    allEntries.assign(order.begin(), order.end());
    dirty = true;
}

std::vector<std::string> Playlist::filterWords() const {
    std::string lower = platform::lowercased(filterText);
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        std::size_t space = lower.find(' ', start);
        words.push_back(lower.substr(start, space == std::string::npos ? std::string::npos : space - start));
        if (space == std::string::npos) break;
        start = space + 1;
    }
    return words;
}

Playlist::EntryList Playlist::filteredEntries() const {
    std::vector<std::string> words = filterWords();
    EntryList visible;
    for (const auto& entry : allEntries)
        if (entry && entry->matchesFilter(words, includeTags, excludeTags)) visible.push_back(entry);
    return visible;
}

std::optional<std::size_t> Playlist::currentRow() const {
    return row(assignedEntry);
}

std::optional<std::size_t> Playlist::row(const std::shared_ptr<PlaylistEntry>& entry) const {
    if (!entry) return std::nullopt;
    EntryList visible = filteredEntries();
    for (std::size_t i = 0; i < visible.size(); ++i)
        if (visible[i]->_url == entry->_url) return i;
    return std::nullopt;
}

std::shared_ptr<PlaylistEntry> Playlist::visibleEntry(std::ptrdiff_t row) const {
    if (row < 0) return nullptr;
    EntryList visible = filteredEntries();
    if (static_cast<std::size_t>(row) >= visible.size()) return nullptr;
    return visible[static_cast<std::size_t>(row)];
}

namespace {

std::optional<std::string> firstTagCharacter(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return tagCharacters(text).front();
}

} // namespace

void Playlist::cycleTagFilter(std::string_view text) {
    std::optional<std::string> tag = firstTagCharacter(text);
    if (!tag) return;
    if (includeTags.erase(*tag)) {
        excludeTags.insert(*tag);
    } else if (!excludeTags.erase(*tag)) {
        includeTags.insert(*tag);
    }
}

void Playlist::toggleIncludeTag(std::string_view text) {
    std::optional<std::string> tag = firstTagCharacter(text);
    if (!tag) return;
    if (!includeTags.erase(*tag)) {
        includeTags.insert(*tag);
        excludeTags.erase(*tag);
    }
}

void Playlist::toggleExcludeTag(std::string_view text) {
    std::optional<std::string> tag = firstTagCharacter(text);
    if (!tag) return;
    if (!excludeTags.erase(*tag)) {
        excludeTags.insert(*tag);
        includeTags.erase(*tag);
    }
}

} // namespace vantle
