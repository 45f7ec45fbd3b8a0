#pragma once
// Watches one file and calls a closure on the main queue whenever the file system reports a change to it.

#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/FileSystemWatch.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <functional>
#include <memory>
#include <optional>

namespace vantle {

// The player puts one on each entry file it loads and looks at what changed when it fires. Each delivery
// of the watch prints "=== in eventHandler" on the global queue and runs the completion once on the main
// queue, with the kinds of change it brings.
// Create and destroy on the main thread. Destroying the monitor cancels its watch and closes its descriptor;
// no completion of it runs afterwards, even one already posted (so a replaced monitor can never make an
// earlier entry current again). A completion may destroy its own monitor.
class FileMonitor {
public:
    // Watching when it returns, unless the file cannot be opened: then nothing is watched and error() says
    // why.
    using Completion = std::function<void(platform::FileSystemEvent events)>;
    FileMonitor(platform::Url url, platform::FileSystemEvent event, Completion completion);
    ~FileMonitor();
    FileMonitor(const FileMonitor&) = delete;
    FileMonitor& operator=(const FileMonitor&) = delete;

    const platform::Url& url() const { return url_; }
    bool isWatching() const { return fileMonitorSource_.isWatching(); }
    // The descriptor opened for the watch; -1 when none is open.
    int monitoredFileDescriptor() const { return fileMonitorSource_.fileDescriptor(); }
    const std::optional<platform::Error>& error() const { return error_; }

    struct Delivery;

private:
    std::shared_ptr<Delivery> delivery_;
    platform::DispatchQueue& dispatchQueue_;
    platform::FileSystemWatch fileMonitorSource_;
    platform::Url url_;
    std::optional<platform::Error> error_;
};

} // namespace vantle
