#include "platform/dispatch/FileSystemWatch.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

namespace {

using WatchClock = std::chrono::steady_clock;

// How long an open writer must stay quiet before its writes are reported without a close.
constexpr auto kWatchWriteSettle = std::chrono::milliseconds(500);
// How often a file that a writer keeps extending is reported to have grown, for watches of `extend`.
constexpr auto kWatchGrowthReport = std::chrono::milliseconds(1000);

// IN_ACCESS, IN_OPEN and IN_CLOSE_NOWRITE stay out: reading the file is no change.
constexpr std::uint32_t kWatchInotifyMask = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF |
                                            IN_UNMOUNT | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
// What only a folder hears: a name made, removed or moved in or out is a write of its entries.
constexpr std::uint32_t kWatchFolderEntryMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;

Error watchError(const std::string& path, int err) {
    return Error::make("platform.dispatch", "can't watch \"" + path + "\": " + std::strerror(err), err);
}

} // namespace

struct FileSystemWatch::State {
    State(Handler work, DispatchQueue& target, FileSystemEvent events)
        : handler(std::move(work)), queue(&target), mask(events) {}

    const Handler handler;
    DispatchQueue* const queue;
    const FileSystemEvent mask;
    // Held while a run of the handler checks for cancellation and runs, so that cancel() can wait for it.
    std::recursive_mutex gate;
    bool cancelled = false; // guarded by gate

    // Guarded by the registry's mutex.
    std::atomic<int> fd{-1}; // atomic only for fileDescriptor() readers
    int wd = -1;
    FileSystemEvent pending = FileSystemEvent::none;
    bool posted = false;
    bool modified = false; // written since the last reported write
    WatchClock::time_point modifiedAt;
    WatchClock::time_point growthCheckedAt; // first write since the last report or growth check
    off_t sizeAtLastWrite = 0;              // what a write is measured against for `extend`
    off_t sizeAtLastGrowth = 0;             // what a writer still at work is measured against
    struct stat last {};                    // the file's status when it was last looked at
};

namespace {

using WatchStatePtr = std::shared_ptr<FileSystemWatch::State>;

// The process's one inotify descriptor, the watches registered on it and the thread that reads it.
// Never destroyed: the reader thread runs until the process ends.
class InotifyWatchRegistry {
public:
    static InotifyWatchRegistry& shared() {
        static auto* registry = new InotifyWatchRegistry();
        return *registry;
    }

    Result<void> add(const WatchStatePtr& state, const std::string& path) {
        std::lock_guard lock(mutex_);
        if (inotifyFd_ < 0) {
            inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
            if (inotifyFd_ < 0) return watchError(path, errno);
        }
        if (!readerStarted_) {
            try {
                std::thread([this] { run(); }).detach();
            } catch (const std::system_error& e) {
                return watchError(path, e.code().value());
            }
            readerStarted_ = true;
        }
        // Through the descriptor, so the watch is on the very file that was opened even if the path has been
        // replaced meanwhile.
        std::string byDescriptor = "/proc/self/fd/" + std::to_string(state->fd.load());
        int wd = ::inotify_add_watch(inotifyFd_, byDescriptor.c_str(), kWatchInotifyMask);
        if (wd < 0 && errno == ENOENT) wd = ::inotify_add_watch(inotifyFd_, path.c_str(), kWatchInotifyMask);
        if (wd < 0) return watchError(path, errno);
        // The kernel hands out one watch per file and descriptor: watches of the same file share it.
        state->wd = wd;
        watches_[wd].push_back(state);
        return {};
    }

    void remove(const WatchStatePtr& state) {
        std::lock_guard lock(mutex_);
        auto found = watches_.find(state->wd);
        if (found != watches_.end()) {
            std::erase(found->second, state);
            if (found->second.empty()) {
                ::inotify_rm_watch(inotifyFd_, state->wd);
                watches_.erase(found);
            }
        }
        ::close(state->fd.exchange(-1));
    }

    // Takes the events gathered for the run of the handler that is starting.
    FileSystemEvent take(FileSystemWatch::State& state) {
        std::lock_guard lock(mutex_);
        auto events = std::exchange(state.pending, FileSystemEvent::none);
        state.posted = false;
        return events;
    }

private:
    InotifyWatchRegistry() = default;

    void run() {
        // Large enough for many events with names, aligned for the records.
        alignas(inotify_event) char buffer[16 * 1024];
        int inotifyFd;
        {
            std::lock_guard lock(mutex_);
            inotifyFd = inotifyFd_;
        }
        for (;;) {
            int timeoutMs;
            {
                std::lock_guard lock(mutex_);
                timeoutMs = msUntilNextSettleLocked(WatchClock::now());
            }
            pollfd readable{inotifyFd, POLLIN, 0};
            int ready = ::poll(&readable, 1, timeoutMs);
            std::lock_guard lock(mutex_);
            auto now = WatchClock::now();
            if (ready > 0) {
                ssize_t length;
                while ((length = ::read(inotifyFd, buffer, sizeof buffer)) > 0) {
                    for (char* at = buffer; at < buffer + length;) {
                        const auto* event = reinterpret_cast<const inotify_event*>(at);
                        handleLocked(*event, now);
                        at += sizeof(inotify_event) + event->len;
                    }
                }
            }
            settleQuietWritersLocked(now);
        }
    }

    int msUntilNextSettleLocked(WatchClock::time_point now) const {
        int timeoutMs = -1;
        for (const auto& [wd, states] : watches_)
            for (const auto& state : states) {
                if (!state->modified) continue;
                auto due = state->modifiedAt + kWatchWriteSettle;
                if (reportsGrowth(*state)) due = std::min(due, state->growthCheckedAt + kWatchGrowthReport);
                auto left = std::chrono::ceil<std::chrono::milliseconds>(due - now);
                int ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
                if (timeoutMs < 0 || ms < timeoutMs) timeoutMs = ms;
            }
        return timeoutMs;
    }

    static bool reportsGrowth(const FileSystemWatch::State& state) {
        return contains(state.mask, FileSystemEvent::extend);
    }

    void settleQuietWritersLocked(WatchClock::time_point now) {
        for (const auto& [wd, states] : watches_)
            for (const auto& state : states) {
                if (!state->modified) continue;
                if (now - state->modifiedAt >= kWatchWriteSettle)
                    reportLocked(state, takeWriteLocked(*state));
                else if (reportsGrowth(*state) && now - state->growthCheckedAt >= kWatchGrowthReport)
                    reportLocked(state, growthLocked(*state, now));
            }
    }

    // A writer that keeps at it is never quiet for long: its file growing is reported on its own, so
    // that a reader of a file whose header states its full length can follow it. Its write is still
    // reported once it is done.
    static FileSystemEvent growthLocked(FileSystemWatch::State& state, WatchClock::time_point now) {
        state.growthCheckedAt = now;
        struct stat status {};
        if (::fstat(state.fd.load(), &status) != 0 || status.st_size <= state.sizeAtLastGrowth)
            return FileSystemEvent::none;
        state.sizeAtLastGrowth = status.st_size;
        return FileSystemEvent::extend;
    }

    void handleLocked(const inotify_event& event, WatchClock::time_point now) {
        if (event.mask & IN_Q_OVERFLOW) {
            // Events were lost: tell each watch what its file's status says has happened since.
            for (const auto& [wd, states] : watches_)
                for (const auto& state : states)
                    reportLocked(state, eventsSinceLastStatusLocked(*state));
            return;
        }
        auto found = watches_.find(event.wd);
        if (found == watches_.end()) return; // cancelled meanwhile
        if (event.mask & IN_IGNORED) {
            // The kernel dropped the watch (the file system went away); nothing more can come.
            watches_.erase(found);
            return;
        }
        for (const auto& state : found->second) {
            FileSystemEvent events = FileSystemEvent::none;
            if (event.mask & IN_MODIFY) {
                if (!state->modified) state->growthCheckedAt = now;
                state->modified = true;
                state->modifiedAt = now;
            }
            bool gone = event.mask & (IN_DELETE_SELF | IN_UNMOUNT);
            if (event.mask & IN_ATTRIB) {
                auto changes = attribEventsLocked(*state);
                gone = gone || contains(changes, FileSystemEvent::deleted);
                events |= changes;
            }
            // A write is reported when its writer is done, or before the file goes.
            if (state->modified && (event.mask & IN_CLOSE_WRITE || gone)) events |= takeWriteLocked(*state);
            if (event.mask & kWatchFolderEntryMask) events |= FileSystemEvent::write;
            if (event.mask & IN_MOVE_SELF) events |= FileSystemEvent::rename;
            if (event.mask & IN_DELETE_SELF) events |= FileSystemEvent::deleted;
            if (event.mask & IN_UNMOUNT) events |= FileSystemEvent::revoke;
            reportLocked(state, events);
        }
    }

    static bool refreshStatusLocked(FileSystemWatch::State& state, struct stat& previous) {
        previous = state.last;
        return ::fstat(state.fd.load(), &state.last) == 0;
    }

    static FileSystemEvent takeWriteLocked(FileSystemWatch::State& state) {
        state.modified = false;
        struct stat previous;
        if (!refreshStatusLocked(state, previous)) return FileSystemEvent::write;
        bool grew = state.last.st_size > state.sizeAtLastWrite;
        state.sizeAtLastWrite = state.sizeAtLastGrowth = state.last.st_size;
        return grew ? FileSystemEvent::write | FileSystemEvent::extend : FileSystemEvent::write;
    }

    // A status change: the file's last name gone, a name more or less, or else its attributes.
    static FileSystemEvent attribEventsLocked(FileSystemWatch::State& state) {
        struct stat previous;
        if (!refreshStatusLocked(state, previous)) return FileSystemEvent::attrib;
        if (state.last.st_nlink == 0) return FileSystemEvent::deleted;
        if (state.last.st_nlink != previous.st_nlink) return FileSystemEvent::link;
        return FileSystemEvent::attrib;
    }

    static FileSystemEvent eventsSinceLastStatusLocked(FileSystemWatch::State& state) {
        struct stat previous;
        if (!refreshStatusLocked(state, previous)) return FileSystemEvent::none;
        const auto& now = state.last;
        FileSystemEvent events = FileSystemEvent::none;
        if (now.st_nlink == 0 && previous.st_nlink != 0)
            events |= FileSystemEvent::deleted;
        else if (now.st_nlink != previous.st_nlink)
            events |= FileSystemEvent::link;
        bool written = now.st_size != previous.st_size || now.st_mtim.tv_sec != previous.st_mtim.tv_sec ||
                       now.st_mtim.tv_nsec != previous.st_mtim.tv_nsec;
        if (written || state.modified) {
            state.modified = false;
            events |= FileSystemEvent::write;
            if (now.st_size > state.sizeAtLastWrite) events |= FileSystemEvent::extend;
            state.sizeAtLastWrite = state.sizeAtLastGrowth = now.st_size;
        } else if (now.st_ctim.tv_sec != previous.st_ctim.tv_sec ||
                   now.st_ctim.tv_nsec != previous.st_ctim.tv_nsec) {
            events |= FileSystemEvent::attrib;
        }
        return events;
    }

    // Adds events to what the watch's next run will see, and posts that run unless one is waiting already.
    void reportLocked(const WatchStatePtr& state, FileSystemEvent events) {
        events = events & state->mask;
        if (events == FileSystemEvent::none) return;
        state->pending |= events;
        if (state->posted) return;
        state->posted = true;
        // Posted under the lock, so that a watch cancelled meanwhile (whose queue may then go) posts nothing.
        state->queue->async([state] {
            std::lock_guard gate(state->gate);
            if (state->cancelled) return;
            auto events = shared().take(*state);
            if (events != FileSystemEvent::none && state->handler) state->handler(events);
        });
    }

    std::mutex mutex_;
    int inotifyFd_ = -1;
    bool readerStarted_ = false;
    std::unordered_map<int, std::vector<WatchStatePtr>> watches_;
};

} // namespace

std::string describe(FileSystemEvent events) {
    static constexpr std::pair<FileSystemEvent, const char*> names[] = {
        {FileSystemEvent::deleted, "deleted"}, {FileSystemEvent::write, "write"},
        {FileSystemEvent::extend, "extend"},   {FileSystemEvent::attrib, "attrib"},
        {FileSystemEvent::link, "link"},       {FileSystemEvent::rename, "rename"},
        {FileSystemEvent::revoke, "revoke"},
    };
    std::string text;
    for (const auto& [event, name] : names) {
        if (!contains(events, event)) continue;
        if (!text.empty()) text += '|';
        text += name;
    }
    return text.empty() ? "none" : text;
}

Result<FileSystemWatch> FileSystemWatch::watch(const std::string& path, FileSystemEvent mask, Handler handler,
                                               DispatchQueue& queue) {
    // O_PATH: like the platform's event-only open, it needs no read permission and never blocks.
    int fd = ::open(path.c_str(), O_PATH | O_CLOEXEC);
    if (fd < 0) return watchError(path, errno);
    auto state = std::make_shared<State>(std::move(handler), queue, mask & FileSystemEvent::all);
    state->fd = fd;
    if (::fstat(fd, &state->last) != 0) {
        int err = errno;
        ::close(fd);
        return watchError(path, err);
    }
    state->sizeAtLastWrite = state->sizeAtLastGrowth = state->last.st_size;
    auto added = InotifyWatchRegistry::shared().add(state, path);
    if (!added) {
        ::close(fd);
        return added.error();
    }
    return FileSystemWatch(std::move(state));
}

FileSystemWatch& FileSystemWatch::operator=(FileSystemWatch&& other) noexcept {
    if (this != &other) {
        cancel();
        state_ = std::move(other.state_);
    }
    return *this;
}

FileSystemWatch::~FileSystemWatch() {
    cancel();
}

void FileSystemWatch::cancel() {
    if (!state_) return;
    auto state = std::move(state_);
    {
        std::lock_guard gate(state->gate);
        state->cancelled = true;
    }
    InotifyWatchRegistry::shared().remove(state);
}

int FileSystemWatch::fileDescriptor() const {
    return state_ ? state_->fd.load() : -1;
}

} // namespace platform
