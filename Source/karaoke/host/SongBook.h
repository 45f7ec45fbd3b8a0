#pragma once
// The song book as the window uses it: the index kept up to date on a worker of its own (all of it at
// start, then each folder as it changes, heard through file-system watches) and searched on another, so
// that the window's thread never waits on the database. Results, progress and renames are delivered on
// the delivery queue (the main queue in the program). Created, used and destroyed on one thread.

#include "Source/karaoke/host/SongIndex.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class DispatchQueue;
class SerialQueue;
} // namespace platform

namespace vantle::host {

struct BookProgress {
    std::size_t songs = 0;         // in the book
    std::size_t foldersListed = 0; // in this refresh
    bool indexing = false;
};

class SongBook {
public:
    // Opens its own connections to the database at `path`; throws std::runtime_error when it cannot.
    explicit SongBook(const std::string& path, platform::DispatchQueue& delivery);
    ~SongBook();
    SongBook(const SongBook&) = delete;
    SongBook& operator=(const SongBook&) = delete;

    void setProgressHandler(std::function<void(const BookProgress&)> handler);
    // A song file renamed in its folder: old path, new path.
    void setMovedHandler(std::function<void(const std::string&, const std::string&)> handler);

    // The book could not be brought up to date or searched (a full or failing disk, a damaged file): why,
    // fit to be shown. Delivered on the delivery queue.
    void setFailureHandler(std::function<void(const std::string&)> handler);

    // The folders kept in the database (read at start).
    const std::vector<std::string>& folders() const { return folders_; }
    // Keeps these folders and brings the book up to date with them.
    void setFolders(std::vector<std::string> folders);
    // Looks at every folder for what changed since last time (only changed folders are listed) and
    // watches them from then on.
    void refresh();
    // Only the latest search is answered: a search asked before it was started is dropped.
    void search(std::string query, std::size_t limit, std::function<void(std::vector<BookSong>)> deliver);
    // The indexing stops at its next folder, for good (any thread): a quit never waits for a book being
    // listed. The destructor does it first.
    void stop();
    // Waits for the index worker (tests, and before quitting).
    void flush();

private:
    struct Worker;
    std::vector<std::string> folders_;
    std::shared_ptr<Worker> worker_;
    std::shared_ptr<std::atomic<std::uint64_t>> searchGeneration_;
    platform::DispatchQueue& delivery_;
    std::unique_ptr<platform::SerialQueue> indexQueue_;
    std::unique_ptr<platform::SerialQueue> searchQueue_;
};

} // namespace vantle::host
