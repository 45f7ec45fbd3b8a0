#pragma once
// The files of one addition (chosen, dropped or handed over), found and measured away from the window.

#include "Source/session/AudioDuration.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class DispatchQueue;
}

namespace vantle {

// One addition of files: the locations handed to it (files, and folders whose files it takes) are walked
// and each file is opened and measured on a worker queue; the files come back on the main queue in
// batches, in the order of the locations and, inside a folder, in path order. Made, cancelled and
// destroyed on the main thread, where its handlers run.
class FileAddition {
public:
    // A file found, with its length when it opened as audio.
    struct File {
        platform::Url url;
        std::optional<AudioFileLength> length;
        // Handed to the addition by name, not found in a folder: worth a word when it is not audio.
        bool named = false;
        // The index of the location it was found at.
        std::size_t location = 0;
        // Why a named file did not open as audio, in the reader's words; none when it opened but has
        // no rate to measure by.
        std::optional<platform::Error> error;
        // Why a named zip is no song archive, in words for the user: found with the measuring, so that
        // the window need not read the archive again.
        std::optional<std::string> archiveRefusal;
    };
    struct Progress {
        std::size_t measured = 0;
        // Every file found; 0 while the folders are still being walked.
        std::size_t total = 0;
    };
    using BatchHandler = std::function<void(std::vector<File> batch, Progress progress)>;
    using FinishedHandler = std::function<void()>;

    // The most files handed over in one batch: the window's work on a batch grows with it.
    static constexpr std::size_t batchSize = 2000;
    static constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();

    struct Options {
        std::size_t batchSize = FileAddition::batchSize;
        // Runs on the worker before each file is opened (tests hold the worker there).
        std::function<void()> beforeEachFile;
    };

    // Starts the walk on `worker` at once. The handlers run on the main queue until the addition is
    // finished or cancelled; a batch may be empty (progress of the walk alone).
    FileAddition(std::vector<platform::Url> locations, platform::DispatchQueue& worker, BatchHandler onBatch,
                 FinishedHandler onFinished, Options options);
    // Cancels.
    ~FileAddition();
    FileAddition(const FileAddition&) = delete;
    FileAddition& operator=(const FileAddition&) = delete;

    // The worker stops at its next file; no handler runs any more.
    void cancel();
    bool finished() const;

    // The files at the locations, walked and measured on the calling thread, when there are at most
    // `limit` of them and none is a song archive; nothing, with no file opened, otherwise.
    static std::optional<std::vector<File>> measureHere(const std::vector<platform::Url>& locations,
                                                        std::size_t limit);

    // The location and every regular file below it (hidden ones and hidden folders left out), in path
    // order; a folder that cannot be read gives nothing (reported on the console). Nothing either once
    // more than `limit` files are found, or when `stop` is set. Any thread.
    static std::optional<std::vector<platform::Url>> filesAt(const platform::Url& location,
                                                             std::size_t limit = unlimited,
                                                             const std::atomic<bool>* stop = nullptr);

    struct State;

private:
    std::shared_ptr<State> state_;
};

} // namespace vantle
