#pragma once
// The song book's index in the host's database: the songs under the host's folders, read from their
// names, kept up to date folder by folder (a folder whose entries did not change is not listed again),
// and searched by any part of the artist, the title or the disc ID, case and accents aside. The thread
// that owns the connection only.

#include "Source/karaoke/host/HostDatabase.h"
#include "Source/karaoke/host/SongName.h"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantle::host {

struct BookSong {
    std::int64_t id = 0;
    std::string path;
    std::string artist;
    std::string title;
    std::string disc;
    // False once its file was gone from its folder: kept and said, not dropped.
    bool present = true;
};

class SongIndex {
public:
    // How a new file's artist, title and disc are found: by default from its name, and from its tags when
    // the name gives no artist. Called outside any transaction.
    using NameReader = std::function<SongName(const std::string& path)>;
    explicit SongIndex(HostDatabase& database, NameReader readName = {})
        : database_(database), readName_(std::move(readName)) {}

    // What a refresh found; `moved` pairs a vanished file with the file of the same size and date that
    // appeared in its folder (a rename), old path first.
    struct Changes {
        std::size_t added = 0;
        std::size_t missing = 0;
        std::vector<std::pair<std::string, std::string>> moved;
        std::vector<std::string> foldersListed;
        std::vector<std::string> foldersKnown;
    };
    using Progress = std::function<void(const Changes&)>;

    std::vector<std::string> roots() const;
    // The roots become these; songs under a root no longer listed leave the book.
    void setRoots(const std::vector<std::string>& roots);
    // Brings the folder and the folders under it up to date; only folders whose entries changed since
    // they were last listed are listed, and `folder` itself when `listAgain` (a file in it was written:
    // its size and date change, the folder's do not). Progress is told after each folder listed.
    // Stops before the next folder once `stopped` says so: what was listed is kept, the rest is listed
    // by a later refresh.
    void refresh(const std::string& folder, Changes& changes, const Progress& progress = {},
                 bool listAgain = false, const std::function<bool()>& stopped = {});

    // At most `limit` songs whose artist, title or disc holds every word of `query` (in any order, any
    // part of a word), by artist then title. An empty query lists the book from the top.
    std::vector<BookSong> search(std::string_view query, std::size_t limit) const;
    std::size_t count() const;

    // The song file types the book holds; a CD+G file is its audio's pair, not a song.
    static bool isSongFile(std::string_view path);

private:
    struct Listed {
        std::int64_t size;
        std::int64_t mtime;
    };
    struct Held {
        std::int64_t id;
        std::int64_t size;
        std::int64_t mtime;
        bool present;
    };
    // A folder as it stands on disk beside what the book held of it, with the new files' names.
    struct Listing {
        std::map<std::string, Listed> files;
        std::set<std::string> folders;
        std::map<std::string, Held> held;
        std::vector<std::pair<std::string, Listed>> fresh;
        std::vector<SongName> names; // of the fresh files, in order
    };
    // Lists the folder and reads its new files' names, then writes what changed in one transaction; false
    // when stopped before, with nothing written.
    bool listFolder(const std::string& folder, const std::string& parent, std::int64_t mtime,
                    Changes& changes, const std::function<bool()>& stopped);
    void writeFolder(const std::string& folder, const std::string& parent, std::int64_t mtime,
                     Listing& listing, Changes& changes);
    void forgetFolder(const std::string& folder, Changes& changes);
    HostDatabase& database_;
    NameReader readName_;
};

} // namespace vantle::host
