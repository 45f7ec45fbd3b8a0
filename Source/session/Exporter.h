#pragma once
// Copies the audio files of a playlist's checked entries into the export folder. export runs on
// the main thread; the copying runs on a background queue and reports only console lines.

#include "platform/foundation/Url.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {
class DispatchQueue;
}

namespace vantle {

class Playlist;

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

    // The copying step of a run: creates driveURL/folderName and copies each file into it,
    // printing one line per file.
    void copyFiles(const std::string& folderName, const std::vector<platform::Url>& files);

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
