#include "Source/karaoke/host/SongIndex.h"

#include "Source/karaoke/host/SongName.h"
#include "platform/files/AudioFileMetadata.h"
#include "platform/files/SongArchive.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <sys/stat.h>

namespace vantle::host {

namespace {

std::int64_t modificationTime(const struct stat& status) {
    return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

std::string lowerExtension(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return {};
    std::string extension(path.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string searchWords(const SongName& name) {
    return foldedForSearch(name.artist + " " + name.title + " " + name.disc);
}

std::size_t characterCount(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// The folders that hold songs under `folder`, itself included, as SQL LIKE sees them.
std::string underFolder(const std::string& folder) {
    std::string escaped;
    for (const char c : folder) {
        if (c == '%' || c == '_' || c == '\\') escaped += '\\';
        escaped += c;
    }
    return escaped + "/%";
}

// What the tags at the head of a zip's audio need: ID3v2 with a small cover picture.
constexpr std::uint64_t archiveTagBytes = 256 * 1024;

// From the name as hosts write it; a file whose name gives no artist, from its tags where it has them
// (a zip's from the head of its audio).
SongName songName(const std::string& path) {
    SongName name = songNameFromFile(path);
    if (!name.artist.empty()) return name;
    const platform::Result<platform::AudioFileMetadata> tags =
        [&]() -> platform::Result<platform::AudioFileMetadata> {
        if (lowerExtension(path) != "zip") return platform::readMetadata(path);
        const platform::Result<platform::SongArchiveAudio> head =
            platform::readSongArchiveAudioHead(path, archiveTagBytes);
        if (!head.ok()) return head.error();
        return platform::readMetadata(head.value().bytes, head.value().member);
    }();
    if (!tags.ok()) return name;
    const std::optional<std::string> artist = tags.value().value("artist");
    const std::optional<std::string> title = tags.value().value("title");
    if (artist && !artist->empty()) name.artist = *artist;
    if (title && !title->empty()) {
        // A name that was only a disc ID ("SC1234-05.zip") stays the disc.
        if (name.disc.empty() && looksLikeDiscId(name.title)) name.disc = name.title;
        name.title = *title;
    }
    return name;
}

} // namespace

bool SongIndex::isSongFile(std::string_view path) {
    static const std::set<std::string, std::less<>> extensions{"zip",  "mp3", "m4a", "ogg",
                                                               "flac", "wav", "aac", "opus"};
    return extensions.count(lowerExtension(path)) != 0;
}

std::vector<std::string> SongIndex::roots() const {
    std::vector<std::string> roots;
    for (Statement row(database_.connection(), "SELECT path FROM book_roots ORDER BY path"); row.step();)
        roots.push_back(row.text(0));
    return roots;
}

void SongIndex::setRoots(const std::vector<std::string>& roots) {
    Changes ignored;
    database_.transaction([&] {
        for (const std::string& old : this->roots())
            if (std::find(roots.begin(), roots.end(), old) == roots.end()) {
                forgetFolder(old, ignored);
                for (const char* sql :
                     {"DELETE FROM song_words WHERE rowid IN (SELECT id FROM songs WHERE folder = ?1 OR "
                      "folder LIKE ?2 ESCAPE '\\')",
                      "DELETE FROM songs WHERE folder = ?1 OR folder LIKE ?2 ESCAPE '\\'"}) {
                    Statement drop(database_.connection(), sql);
                    drop.bind(1, old).bind(2, underFolder(old));
                    drop.run();
                }
            }
        database_.execute("DELETE FROM book_roots");
        Statement insert(database_.connection(), "INSERT OR IGNORE INTO book_roots(path) VALUES(?)");
        for (const std::string& root : roots) {
            insert.bind(1, root);
            insert.run();
        }
    });
}

void SongIndex::forgetFolder(const std::string& folder, Changes& changes) {
    sqlite3* c = database_.connection();
    Statement gone(
        c, "UPDATE songs SET present = 0 WHERE present = 1 AND (folder = ?1 OR folder LIKE ?2 ESCAPE '\\')");
    gone.bind(1, folder).bind(2, underFolder(folder));
    gone.run();
    changes.missing += static_cast<std::size_t>(sqlite3_changes(c));
    Statement drop(c, "DELETE FROM book_folders WHERE path = ?1 OR path LIKE ?2 ESCAPE '\\'");
    drop.bind(1, folder).bind(2, underFolder(folder));
    drop.run();
}

void SongIndex::refresh(const std::string& folder, Changes& changes, const Progress& progress, bool listAgain,
                        const std::function<bool()>& stopped) {
    sqlite3* c = database_.connection();
    // Depth first with a stack of its own: a deep tree costs no stack frames.
    std::vector<std::pair<std::string, std::string>> pending{{folder, {}}};
    if (Statement known(c, "SELECT parent FROM book_folders WHERE path = ?"); known.bind(1, folder).step())
        pending.front().second = known.text(0);
    Statement knownTime(c, "SELECT mtime FROM book_folders WHERE path = ?");
    Statement children(c, "SELECT path FROM book_folders WHERE parent = ?");
    while (!pending.empty() && !(stopped && stopped())) {
        auto [path, parent] = std::move(pending.back());
        pending.pop_back();
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
            database_.transaction([&] { forgetFolder(path, changes); });
            continue;
        }
        changes.foldersKnown.push_back(path);
        const std::int64_t mtime = modificationTime(status);
        knownTime.bind(1, path);
        const bool unchanged =
            knownTime.step() && knownTime.integer(0) == mtime && !(listAgain && path == folder);
        knownTime.reset();
        if (!unchanged) {
            if (!listFolder(path, parent, mtime, changes, stopped)) return;
            if (progress) progress(changes);
        }
        children.bind(1, path);
        while (children.step())
            pending.emplace_back(children.text(0), path);
        children.reset();
    }
}

bool SongIndex::listFolder(const std::string& folder, const std::string& parent, std::int64_t mtime,
                           Changes& changes, const std::function<bool()>& stopped) {
    changes.foldersListed.push_back(folder);
    Listing listing;
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        const std::string path = it->path().string();
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) continue;
        if (S_ISDIR(status.st_mode)) {
            listing.folders.insert(path);
        } else if (S_ISREG(status.st_mode) && isSongFile(path)) {
            listing.files[path] = Listed{static_cast<std::int64_t>(status.st_size), modificationTime(status)};
        }
    }
    // What the book held here: kept, come back, or gone (maybe renamed to a new name here).
    {
        Statement rows(database_.connection(),
                       "SELECT id, path, size, mtime, present FROM songs WHERE folder = ?");
        rows.bind(1, folder);
        while (rows.step())
            listing.held[rows.text(1)] =
                Held{rows.integer(0), rows.integer(2), rows.integer(3), rows.integer(4) != 0};
    }
    // The new files' names (tags too, which read the files) are found before the folder's transaction: the
    // evening's writer never waits on a folder of untidy names.
    for (const auto& [path, listed] : listing.files)
        if (!listing.held.count(path)) listing.fresh.emplace_back(path, listed);
    for (const auto& [path, listed] : listing.fresh) {
        // A folder of thousands of untidy names is left unwritten, to be listed whole next time.
        if (stopped && stopped()) return false;
        listing.names.push_back(readName_ ? readName_(path) : songName(path));
    }
    database_.transaction([&] { writeFolder(folder, parent, mtime, listing, changes); });
    return true;
}

void SongIndex::writeFolder(const std::string& folder, const std::string& parent, std::int64_t mtime,
                            Listing& listing, Changes& changes) {
    sqlite3* c = database_.connection();
    auto& [files, folders, held, fresh, names] = listing;
    Statement back(c, "UPDATE songs SET present = 1, size = ?, mtime = ? WHERE id = ?");
    Statement insert(
        c, "INSERT INTO songs(path, folder, artist, title, disc, size, mtime) VALUES(?, ?, ?, ?, ?, ?, ?)");
    Statement words(c, "INSERT INTO song_words(rowid, words) VALUES(?, ?)");
    Statement rename(c,
                     "UPDATE songs SET path = ?, artist = ?, title = ?, disc = ?, present = 1 WHERE id = ?");
    Statement rewords(c, "UPDATE song_words SET words = ? WHERE rowid = ?");
    Statement gone(c, "UPDATE songs SET present = 0 WHERE id = ?");
    for (const auto& [path, listed] : files) {
        const auto found = held.find(path);
        if (found == held.end()) continue;
        if (!found->second.present || found->second.size != listed.size ||
            found->second.mtime != listed.mtime) {
            back.bind(1, listed.size).bind(2, listed.mtime).bind(3, found->second.id);
            back.run();
        }
        held.erase(found);
    }
    for (std::size_t i = 0; i < fresh.size(); ++i) {
        const auto& [path, listed] = fresh[i];
        const SongName& name = names[i];
        // A song gone from here whose size and date the new file has: the same file, renamed.
        const auto renamed = std::find_if(held.begin(), held.end(), [&](const auto& entry) {
            return entry.second.present && entry.second.size == listed.size &&
                   entry.second.mtime == listed.mtime;
        });
        if (renamed != held.end()) {
            rename.bind(1, path)
                .bind(2, name.artist)
                .bind(3, name.title)
                .bind(4, name.disc)
                .bind(5, renamed->second.id);
            rename.run();
            rewords.bind(1, searchWords(name)).bind(2, renamed->second.id);
            rewords.run();
            changes.moved.emplace_back(renamed->first, path);
            held.erase(renamed);
            continue;
        }
        insert.bind(1, path).bind(2, folder).bind(3, name.artist).bind(4, name.title).bind(5, name.disc);
        insert.bind(6, listed.size).bind(7, listed.mtime);
        insert.run();
        words.bind(1, static_cast<std::int64_t>(sqlite3_last_insert_rowid(c))).bind(2, searchWords(name));
        words.run();
        ++changes.added;
    }
    for (const auto& [path, song] : held)
        if (song.present) {
            gone.bind(1, song.id);
            gone.run();
            ++changes.missing;
        }
    // Folders gone from here take their songs with them; new ones are listed next.
    Statement known(c, "SELECT path FROM book_folders WHERE parent = ?");
    known.bind(1, folder);
    std::vector<std::string> vanished;
    while (known.step())
        if (!folders.count(known.text(0))) vanished.push_back(known.text(0));
    known.reset();
    for (const std::string& path : vanished)
        forgetFolder(path, changes);
    Statement child(c, "INSERT OR IGNORE INTO book_folders(path, parent, mtime) VALUES(?, ?, 0)");
    for (const std::string& path : folders) {
        child.bind(1, path).bind(2, folder);
        child.run();
    }
    Statement self(c, "INSERT OR REPLACE INTO book_folders(path, parent, mtime) VALUES(?, ?, ?)");
    self.bind(1, folder).bind(2, parent).bind(3, mtime);
    self.run();
}

std::vector<BookSong> SongIndex::search(std::string_view query, std::size_t limit) const {
    std::vector<std::string> longWords;
    std::vector<std::string> shortWords;
    const std::string folded = foldedForSearch(query);
    for (std::size_t i = 0; i < folded.size();) {
        const std::size_t start = folded.find_first_not_of(" \t\r\n", i);
        if (start == std::string::npos) break;
        const std::size_t end = std::min(folded.find_first_of(" \t\r\n", start), folded.size());
        std::string word = folded.substr(start, end - start);
        // The trigram index finds words of three characters or more; shorter ones are compared row by row.
        (characterCount(word) >= 3 ? longWords : shortWords).push_back(std::move(word));
        i = end;
    }
    std::string sql = "SELECT s.id, s.path, s.artist, s.title, s.disc, s.present FROM ";
    std::string match;
    for (const std::string& word : longWords) {
        if (!match.empty()) match += " AND ";
        match += '"';
        for (const char ch : word) {
            if (ch == '"') match += '"';
            match += ch;
        }
        match += '"';
    }
    sql += "song_words w JOIN songs s ON s.id = w.rowid WHERE 1";
    if (!match.empty()) sql += " AND song_words MATCH ?";
    for (std::size_t i = 0; i < shortWords.size(); ++i)
        sql += " AND w.words LIKE ? ESCAPE '\\'";
    sql += " ORDER BY s.artist COLLATE NOCASE, s.title COLLATE NOCASE LIMIT ?";
    Statement rows(database_.connection(), sql);
    int index = 1;
    if (!match.empty()) rows.bind(index++, match);
    for (const std::string& word : shortWords) {
        std::string pattern = "%";
        for (const char ch : word) {
            if (ch == '%' || ch == '_' || ch == '\\') pattern += '\\';
            pattern += ch;
        }
        rows.bind(index++, pattern + "%");
    }
    rows.bind(index, static_cast<std::int64_t>(limit));
    std::vector<BookSong> songs;
    while (rows.step())
        songs.push_back(BookSong{rows.integer(0), rows.text(1), rows.text(2), rows.text(3), rows.text(4),
                                 rows.integer(5) != 0});
    return songs;
}

std::size_t SongIndex::count() const {
    Statement rows(database_.connection(), "SELECT count(*) FROM songs");
    return rows.step() ? static_cast<std::size_t>(rows.integer(0)) : 0;
}

} // namespace vantle::host
