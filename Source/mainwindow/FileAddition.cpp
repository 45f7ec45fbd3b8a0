#include "Source/mainwindow/FileAddition.h"

#include "Source/mainwindow/RefusedFile.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <unistd.h>

namespace vantle {

struct FileAddition::State {
    // Set on the main thread; the worker reads it between files.
    std::atomic<bool> cancelled{false};
    // One batch at a time waits for the main thread: a worker faster than the window must not pile up
    // batches that one turn of the main queue would then take together.
    std::mutex mutex;
    std::condition_variable taken;
    bool batchWaiting = false;
    // Main thread only.
    bool finished = false;
    BatchHandler onBatch;
    FinishedHandler onFinished;
};

namespace {

using File = FileAddition::File;

// Folders inside folders an addition enters: far beyond any music collection's.
constexpr int deepestFolder = 64;

// The files the locations name, and those their folders hold; nothing once more than `limit`.
std::optional<std::vector<File>> walk(const std::vector<platform::Url>& locations, std::size_t limit,
                                      const std::atomic<bool>* stop) {
    std::vector<File> files;
    for (std::size_t index = 0; index < locations.size(); ++index) {
        const platform::Url& location = locations[index];
        const bool folder = platform::isDirectory(location.path());
        const std::size_t room =
            limit == FileAddition::unlimited ? limit : limit - std::min(limit, files.size());
        std::optional<std::vector<platform::Url>> found = FileAddition::filesAt(location, room, stop);
        if (!found) {
            if (stop && stop->load()) return std::nullopt;
            if (limit != FileAddition::unlimited) return std::nullopt;
            continue;
        }
        for (platform::Url& url : *found) {
            // The folder itself is no file of the addition.
            if (folder && url == location) continue;
            files.push_back(File{std::move(url), std::nullopt, !folder, index, std::nullopt, std::nullopt});
        }
        if (files.size() > limit) return std::nullopt;
    }
    return files;
}

void measure(File& file) {
    file.length = audioFileLength(file.url);
    // Only a file named by the user is opened again, for the reader's reason: a folder's pictures and
    // notes are left out without a word.
    if (file.length || !file.named) return;
    platform::Result<std::unique_ptr<platform::AudioFile>> opened =
        platform::AudioFile::openForReading(file.url.path());
    if (!opened) file.error = opened.error();
    file.archiveRefusal = songArchiveRefusal(file.url.path());
}

void runOnWorker(const std::shared_ptr<FileAddition::State>& state,
                 const std::vector<platform::Url>& locations, const FileAddition::Options& options) {
    const auto post = [&state](std::vector<File> batch, FileAddition::Progress progress, bool last) {
        {
            std::unique_lock lock(state->mutex);
            state->taken.wait(lock, [&] { return !state->batchWaiting || state->cancelled.load(); });
            state->batchWaiting = true;
        }
        platform::mainQueue().async([state, batch = std::move(batch), progress, last]() mutable {
            {
                std::lock_guard lock(state->mutex);
                state->batchWaiting = false;
            }
            state->taken.notify_all();
            if (state->cancelled.load() || state->finished) return;
            if (state->onBatch) state->onBatch(std::move(batch), progress);
            if (!last || state->cancelled.load()) return;
            state->finished = true;
            if (FileAddition::FinishedHandler done = std::move(state->onFinished)) done();
        });
    };
    std::optional<std::vector<File>> files = walk(locations, FileAddition::unlimited, &state->cancelled);
    if (state->cancelled.load()) return;
    if (!files) files.emplace();
    const std::size_t total = files->size();
    post({}, {0, total}, total == 0);
    // Batches are bounded by count for the window's sake, and sent at least every quarter second so that
    // files on slow media still show their progress.
    using Clock = std::chrono::steady_clock;
    constexpr auto often = std::chrono::milliseconds(250);
    std::vector<File> batch;
    Clock::time_point sent = Clock::now();
    for (std::size_t i = 0; i < total; ++i) {
        if (options.beforeEachFile) options.beforeEachFile();
        if (state->cancelled.load()) return;
        File& file = (*files)[i];
        measure(file);
        batch.push_back(std::move(file));
        const bool last = i + 1 == total;
        if (last || batch.size() >= std::max<std::size_t>(1, options.batchSize) ||
            Clock::now() - sent >= often) {
            post(std::move(batch), {i + 1, total}, last);
            batch.clear();
            sent = Clock::now();
        }
    }
}

} // namespace

FileAddition::FileAddition(std::vector<platform::Url> locations, platform::DispatchQueue& worker,
                           BatchHandler onBatch, FinishedHandler onFinished, Options options)
    : state_(std::make_shared<State>()) {
    state_->onBatch = std::move(onBatch);
    state_->onFinished = std::move(onFinished);
    worker.async([state = state_, locations = std::move(locations), options = std::move(options)] {
        runOnWorker(state, locations, options);
    });
}

FileAddition::~FileAddition() {
    cancel();
}

void FileAddition::cancel() {
    {
        std::lock_guard lock(state_->mutex);
        state_->cancelled.store(true);
    }
    state_->taken.notify_all();
    state_->onBatch = nullptr;
    state_->onFinished = nullptr;
}

bool FileAddition::finished() const {
    return state_->finished;
}

std::optional<std::vector<FileAddition::File>>
FileAddition::measureHere(const std::vector<platform::Url>& locations, std::size_t limit) {
    std::optional<std::vector<File>> files = walk(locations, limit, nullptr);
    if (!files) return std::nullopt;
    // A song archive is measured by reading its audio whole: only on the worker.
    if (std::any_of(files->begin(), files->end(),
                    [](const File& file) { return platform::isSongArchivePath(file.url.path()); }))
        return std::nullopt;
    for (File& file : *files)
        measure(file);
    return files;
}

std::optional<std::vector<platform::Url>>
FileAddition::filesAt(const platform::Url& location, std::size_t limit, const std::atomic<bool>* stop) {
    namespace fs = std::filesystem;
    std::vector<platform::Url> urls{location};
    std::error_code error;
    if (fs::is_directory(location.path(), error)) {
        fs::recursive_directory_iterator items(location.path(), fs::directory_options::skip_permission_denied,
                                               error);
        if (error) {
            platform::consolePrint(error.message() + " " + location.absoluteString());
            return std::vector<platform::Url>{};
        }
        bool cut = false;
        for (; items != fs::recursive_directory_iterator(); items.increment(error)) {
            if (stop && stop->load()) return std::nullopt;
            const fs::path& path = items->path();
            if (path.filename().string().starts_with('.')) {
                items.disable_recursion_pending();
                continue;
            }
            if (!items->is_symlink(error) && items->is_directory(error) && !error) {
                // Each folder entered holds a descriptor until it is left: a folder nested thousands deep
                // would take every file the process may open, the walk would end there with the files
                // beside it unseen, and the player and saves would fail meanwhile.
                if (items.depth() + 1 >= deepestFolder) {
                    items.disable_recursion_pending();
                    if (!cut)
                        platform::consolePrint(
                            "left out the folders deeper than " + std::to_string(deepestFolder) + " in " +
                            location.absoluteString() + ", first " +
                            platform::Url::fileURLWithPath(path.string(), true).absoluteString());
                    cut = true;
                    continue;
                }
                // The iterator passes a folder it may not read without a word; its songs would be
                // missing unexplained.
                if (::access(path.c_str(), R_OK | X_OK) != 0) {
                    const int err = errno;
                    items.disable_recursion_pending();
                    platform::consolePrint(
                        std::error_code(err, std::generic_category()).message() + " " +
                        platform::Url::fileURLWithPath(path.string(), true).absoluteString());
                    continue;
                }
            }
            error.clear();
            // A link to a file counts as the file; linked folders are not entered, so no loop.
            const bool regular = items->is_regular_file(error);
            if (error) {
                platform::consolePrint(error.message() + " " +
                                       platform::Url::fileURLWithPath(path.string()).absoluteString());
                error.clear();
                continue;
            }
            if (!regular) continue;
            // The folder's own place in the list is not a file.
            if (limit != unlimited && urls.size() > limit) return std::nullopt;
            urls.push_back(platform::Url::fileURLWithPath(path.string(), false));
        }
        // A failure to go on (a folder that stopped answering, no descriptor left) ends the iterator:
        // what follows is unseen and is said to be.
        if (error)
            platform::consolePrint("stopped reading " + location.absoluteString() +
                                   " partway: " + error.message());
    } else if (limit == 0) {
        return std::nullopt;
    }
    std::sort(urls.begin(), urls.end(),
              [](const platform::Url& a, const platform::Url& b) { return a.path() < b.path(); });
    return urls;
}

} // namespace vantle
