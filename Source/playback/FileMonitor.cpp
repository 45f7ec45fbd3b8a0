#include "Source/playback/FileMonitor.h"

#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"

#include <atomic>
#include <utility>

namespace vantle {

// Shared by the monitor and its posted blocks, so a completion survives the monitor it destroys.
struct FileMonitor::Delivery {
    FileMonitor::Completion completion;
    std::atomic<bool> cancelled{false};
};

FileMonitor::FileMonitor(platform::Url url, platform::FileSystemEvent event, Completion completion)
    : delivery_(std::make_shared<Delivery>()), dispatchQueue_(platform::globalQueue()), url_(std::move(url)) {
    delivery_->completion = std::move(completion);
    auto watch = platform::FileSystemWatch::watch(
        url_.path(), event,
        [delivery = delivery_](platform::FileSystemEvent events) {
            platform::consolePrint("=== in eventHandler");
            platform::mainQueue().async([delivery, events] {
                if (!delivery->cancelled.load() && delivery->completion) delivery->completion(events);
            });
        },
        dispatchQueue_);
    if (watch)
        fileMonitorSource_ = std::move(watch.value());
    else
        error_ = watch.error();
}

FileMonitor::~FileMonitor() {
    delivery_->cancelled.store(true);
    fileMonitorSource_.cancel();
}

} // namespace vantle
