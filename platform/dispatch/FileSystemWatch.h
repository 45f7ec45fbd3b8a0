#pragma once
// Watches of one file for the changes made to it, with handlers that run on a queue.

#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Kinds of change to a watched file, combined as a set of flags (stands in for the platform's file-system
// event mask). The platform's file-unlock event has no Linux counterpart and is not offered.
enum class FileSystemEvent : std::uint32_t {
    none = 0,
    deleted = 1u << 0, // its last name is gone: removed, or replaced by another file renamed over it
    write = 1u << 1,   // its contents were written (a folder's: a name made, removed or moved in or out)
    extend = 1u << 2,  // it grew
    attrib = 1u << 3,  // its mode, owner or times were set
    link = 1u << 4,    // it gained or lost one of several names
    rename = 1u << 5,  // it was moved to another name
    revoke = 1u << 6,  // its file system went away
    all = (1u << 7) - 1,
};

constexpr FileSystemEvent operator|(FileSystemEvent a, FileSystemEvent b) {
    return static_cast<FileSystemEvent>(static_cast<std::uint32_t>(a) | static_cast<std::uint32_t>(b));
}
constexpr FileSystemEvent operator&(FileSystemEvent a, FileSystemEvent b) {
    return static_cast<FileSystemEvent>(static_cast<std::uint32_t>(a) & static_cast<std::uint32_t>(b));
}
constexpr FileSystemEvent& operator|=(FileSystemEvent& a, FileSystemEvent b) {
    return a = a | b;
}
// True when every flag of `event` is in `events` (and `event` has one).
constexpr bool contains(FileSystemEvent events, FileSystemEvent event) {
    return event != FileSystemEvent::none && (events & event) == event;
}

// The flags' names joined by "|" ("write|extend"; "none" for the empty set), for messages.
std::string describe(FileSystemEvent events);

// A watch of one file (stands in for a dispatch file-system-object source on a descriptor opened for event
// notification only). Its handler runs on the given queue with the events seen since its last run; events
// that arrive while a run is posted but not yet started join that run, so every event is delivered once
// and runs of one watch never overlap.
// The watch follows the file it opened, not its path: a file replaced by another renamed over it (as
// editors and atomic writes do) reports `deleted` once and nothing after; watching the new file takes a new
// watch. A write is reported once the writer closes the file, so one save is one event and the file is
// whole when the handler runs; a writer that keeps the file open is reported after it has paused for half a
// second. A watch of `extend` also hears, about once a second, that a file a writer is still extending has
// grown (`extend` alone, before the writer's `write`). Reading the file is never reported.
// All inotify watches of the process share one inotify descriptor and one reader thread, started by the
// first watch; each watch adds the descriptor of its own file.
// Any thread may create, cancel or destroy a watch; one watch object is not used by two threads at once.
// The queue must outlive the watch.
class FileSystemWatch {
public:
    using Handler = std::function<void(FileSystemEvent events)>;

    FileSystemWatch() = default;
    FileSystemWatch(FileSystemWatch&& other) noexcept = default;
    // Cancels the watch this one held.
    FileSystemWatch& operator=(FileSystemWatch&& other) noexcept;
    ~FileSystemWatch();

    // Opens `path` for event notification only (no read access is needed) and starts watching for the events
    // of `mask`. Fails when the file cannot be opened or the system grants no further watch.
    static Result<FileSystemWatch> watch(const std::string& path, FileSystemEvent mask, Handler handler,
                                         DispatchQueue& queue = globalQueue());

    // Stops the watch for good and closes its descriptor. Once it returns no handler starts and a handler
    // running on another thread has finished (so a handler must not wait for a thread that cancels its
    // watch); a handler may cancel its own watch. Does nothing on an empty or cancelled watch.
    void cancel();

    bool isWatching() const { return state_ != nullptr; }
    // The descriptor opened for the watch; -1 when none is open.
    int fileDescriptor() const;

    struct State;

private:
    explicit FileSystemWatch(std::shared_ptr<State> state) : state_(std::move(state)) {}

    std::shared_ptr<State> state_;
};

} // namespace platform
