#include "Source/karaoke/host/SongBook.h"

#include "platform/dispatch/FileSystemWatch.h"
#include "platform/dispatch/SerialQueue.h"

#include <map>
#include <mutex>
#include <stdexcept>

namespace vantle::host {

// What the workers own: connections, watches and the handlers they call. The index's members on the
// index queue, the search's on the search queue; the handlers under their mutex.
struct SongBook::Worker : std::enable_shared_from_this<Worker> {
    std::unique_ptr<HostDatabase> indexDatabase;
    std::unique_ptr<SongIndex> index;
    std::unique_ptr<HostDatabase> searchDatabase;
    std::unique_ptr<SongIndex> searcher;
    std::map<std::string, platform::FileSystemWatch> watches;
    std::atomic<bool> stopping{false};
    std::mutex handlersMutex;
    std::function<void(const BookProgress&)> progress;
    std::function<void(const std::string&, const std::string&)> moved;
    std::function<void(const std::string&)> failed;

    // Tells the failure handler on the delivery queue; any thread.
    void fail(platform::DispatchQueue& delivery, std::string why) {
        delivery.async([self = shared_from_this(), why = std::move(why)] {
            std::lock_guard lock(self->handlersMutex);
            if (self->failed) self->failed(why);
        });
    }
};

SongBook::SongBook(const std::string& path, platform::DispatchQueue& delivery)
    : worker_(std::make_shared<Worker>()), searchGeneration_(std::make_shared<std::atomic<std::uint64_t>>(0)),
      delivery_(delivery), indexQueue_(std::make_unique<platform::SerialQueue>("song book index")),
      searchQueue_(std::make_unique<platform::SerialQueue>("song book search")) {
    std::string error;
    indexQueue_->sync([&] {
        worker_->indexDatabase = HostDatabase::open(path, &error);
        if (!worker_->indexDatabase) return;
        worker_->index = std::make_unique<SongIndex>(*worker_->indexDatabase);
        folders_ = worker_->index->roots();
    });
    searchQueue_->sync([&] {
        if (!worker_->indexDatabase) return;
        worker_->searchDatabase = HostDatabase::open(path, &error);
        if (worker_->searchDatabase)
            worker_->searcher = std::make_unique<SongIndex>(*worker_->searchDatabase);
    });
    if (!worker_->searcher) throw std::runtime_error("can't open the song book \"" + path + "\": " + error);
}

SongBook::~SongBook() {
    stop();
    // The watches go on the index queue; then each queue runs out what it holds.
    indexQueue_->sync([worker = worker_] { worker->watches.clear(); });
    indexQueue_.reset();
    searchQueue_.reset();
}

void SongBook::setProgressHandler(std::function<void(const BookProgress&)> handler) {
    std::lock_guard lock(worker_->handlersMutex);
    worker_->progress = std::move(handler);
}

void SongBook::setMovedHandler(std::function<void(const std::string&, const std::string&)> handler) {
    std::lock_guard lock(worker_->handlersMutex);
    worker_->moved = std::move(handler);
}

void SongBook::setFailureHandler(std::function<void(const std::string&)> handler) {
    std::lock_guard lock(worker_->handlersMutex);
    worker_->failed = std::move(handler);
}

void SongBook::setFolders(std::vector<std::string> folders) {
    folders_ = folders;
    indexQueue_->async([worker = worker_, folders = std::move(folders), delivery = &delivery_] {
        try {
            worker->index->setRoots(folders);
        } catch (const DatabaseError& failure) {
            worker->fail(*delivery,
                         std::string("The song book's folders could not be kept: ") + failure.what());
            return;
        }
        for (auto it = worker->watches.begin(); it != worker->watches.end();)
            it = std::none_of(folders.begin(), folders.end(),
                              [&](const std::string& root) {
                                  return it->first == root || it->first.rfind(root + "/", 0) == 0;
                              })
                     ? worker->watches.erase(it)
                     : std::next(it);
    });
    refresh();
}

void SongBook::refresh() {
    platform::DispatchQueue* delivery = &delivery_;
    platform::SerialQueue* queue = indexQueue_.get();
    // Refreshes `folder` and what is under it on the index queue, tells progress and renames, and watches
    // every folder it saw; a watch heard refreshes its folder the same way, listing it even when its entries
    // are the same (a file in it was written).
    auto refreshFolder = std::make_shared<std::function<void(const std::string&, bool)>>();
    std::weak_ptr<std::function<void(const std::string&, bool)>> again = refreshFolder;
    *refreshFolder = [worker = worker_, delivery, queue, again](const std::string& folder, bool heard) {
        const auto tell = [&](const SongIndex::Changes& changes, bool indexing) {
            std::lock_guard lock(worker->handlersMutex);
            if (!worker->progress) return;
            BookProgress progress{0, changes.foldersListed.size(), indexing};
            try {
                progress.songs = worker->index->count();
            } catch (const DatabaseError&) {
                // Said by the refresh that failed; the count stays unknown.
            }
            delivery->async([worker, progress] {
                std::lock_guard lock(worker->handlersMutex);
                if (worker->progress) worker->progress(progress);
            });
        };
        SongIndex::Changes changes;
        std::size_t told = 0;
        try {
            worker->index->refresh(
                folder, changes,
                [&](const SongIndex::Changes& sofar) {
                    // Every few hundred songs: the bar moves without a message per folder.
                    if (sofar.added < told + 500) return;
                    told = sofar.added;
                    tell(sofar, true);
                },
                heard, [&] { return worker->stopping.load(); });
        } catch (const DatabaseError& failure) {
            worker->fail(*delivery, "The song book could not be brought up to date with " + folder + ": " +
                                        failure.what());
            tell(changes, false);
            return;
        }
        if (worker->stopping) return;
        const auto self = again.lock();
        for (const std::string& seen : changes.foldersKnown) {
            if (worker->watches.count(seen) || !self) continue;
            auto watch = platform::FileSystemWatch::watch(
                seen,
                platform::FileSystemEvent::write | platform::FileSystemEvent::deleted |
                    platform::FileSystemEvent::rename,
                [self, seen](platform::FileSystemEvent) { (*self)(seen, true); }, *queue);
            if (watch.ok()) worker->watches.emplace(seen, std::move(watch.value()));
        }
        // Told once its folders are watched: a change made as soon as the book is ready is heard.
        tell(changes, false);
        for (const auto& [from, to] : changes.moved)
            delivery->async([worker, from = from, to = to] {
                std::lock_guard lock(worker->handlersMutex);
                if (worker->moved) worker->moved(from, to);
            });
    };
    // The watches hold the refresher; it holds them only weakly, through the worker.
    indexQueue_->async([worker = worker_, refreshFolder] {
        for (const std::string& root : worker->index->roots())
            (*refreshFolder)(root, false);
    });
}

void SongBook::search(std::string query, std::size_t limit,
                      std::function<void(std::vector<BookSong>)> deliver) {
    const std::uint64_t generation = ++*searchGeneration_;
    searchQueue_->async([worker = worker_, latest = searchGeneration_, generation, query = std::move(query),
                         limit, deliver = std::move(deliver), delivery = &delivery_]() mutable {
        if (latest->load() != generation) return;
        std::vector<BookSong> songs;
        try {
            songs = worker->searcher->search(query, limit);
        } catch (const DatabaseError& failure) {
            worker->fail(*delivery, std::string("The song book could not be searched: ") + failure.what());
        }
        delivery->async([latest, generation, songs = std::move(songs), deliver = std::move(deliver)] {
            if (latest->load() == generation) deliver(songs);
        });
    });
}

void SongBook::stop() {
    worker_->stopping = true;
}

void SongBook::flush() {
    indexQueue_->sync([] {});
    searchQueue_->sync([] {});
}

} // namespace vantle::host
