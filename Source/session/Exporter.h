#pragma once
// Copies the audio files of a playlist's checked entries into the export folder. export runs on
// the main thread; the copying runs on a background queue, prints a line per file and, when it
// ends, hands what it did to the main thread.

#include "platform/foundation/Url.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class DispatchQueue;
}

namespace vantle {

class Playlist;

// What one export run did.
struct ExportOutcome {
    struct NotCopied {
        std::string name;
        std::string reason;
    };
    std::string folderName;
    // Where the files went; nothing when no export folder was found.
    std::optional<platform::Url> folder;
    std::size_t fileCount = 0;
    std::size_t copied = 0;
    // Found in the folder with the same bytes already and left as they were: done as well.
    std::size_t alreadyThere = 0;
    std::vector<NotCopied> notCopied;
};

// The outcome in words for the window: a headline and the details (counts, folder, and each file not
// copied with its reason, the first few of them by name).
struct ExportMessage {
    std::string title;
    std::string details;
    bool complete = false;
};
ExportMessage exportMessage(const ExportOutcome& outcome);

// The export folder stands in for the cloud documents folder: a configurable folder, by default
// the user's Documents folder. Each export copies into a subfolder named after the session
// document; files already there are never replaced.
class Exporter {
public:
    // Exports into defaultExportFolder(), as found at each export, copying on the global queue.
    Exporter();
    // Exports into `exportFolder`; without one nothing is copied. The queue runs the copying
    // (the global queue unless a test passes its own) and must outlive the exporter's runs.
    explicit Exporter(std::optional<std::string> exportFolder);
    Exporter(std::optional<std::string> exportFolder, platform::DispatchQueue& queue);
    ~Exporter();
    Exporter(const Exporter&) = delete;
    Exporter& operator=(const Exporter&) = delete;

    // The export action (`export` itself is a C++ keyword). Does nothing
    // without an open session document. Prints the folder name, takes the checked entries' files
    // at once (later edits of the playlist do not change this run) and starts the copying. While
    // a run is copying, another export is refused with a console line.
    void exportPlaylist(const std::shared_ptr<Playlist>& playlist);

    // The copying step of a run: creates driveURL/folderName, removes what a run killed half-way
    // left there, and copies each file into it, printing one line per file. A file is copied through
    // a temporary that takes its name only when whole; one already there is never replaced. Only songs
    // are copied: a file of /proc, /sys or /dev (a RAM disk mounted there aside), or one the player's reader
    // does not open, is not.
    ExportOutcome copyFiles(const std::string& folderName, const std::vector<platform::Url>& files);

    // Called on the main thread with what each run did when it ends, while the exporter exists.
    void setFinishedHandler(std::function<void(const ExportOutcome&)> handler);

    // True while a run is copying.
    bool running() const;
    // The export folder of the latest run; nothing when there is none to be found.
    std::optional<platform::Url> driveURL() const;
    // The playlist of the latest export.
    std::shared_ptr<Playlist> playlist() const;

    // The user's Documents folder: $XDG_DOCUMENTS_DIR, else the XDG user-dirs setting, else
    // ~/Documents; nothing without a home folder.
    static std::optional<std::string> defaultExportFolder();

    struct State;

private:
    std::shared_ptr<State> state_;
    platform::DispatchQueue& queue_;
};

} // namespace vantle
