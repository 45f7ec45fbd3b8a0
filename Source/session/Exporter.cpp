#include "Source/session/Exporter.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/TextFile.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace vantle {

struct Exporter::State {
    bool useDefaultFolder = true;
    std::optional<std::string> folder;

    std::atomic<bool> running{false};
    mutable std::mutex mutex; // guards driveURL and playlist, which both threads touch
    std::optional<platform::Url> driveURL;
    std::shared_ptr<Playlist> playlist;

    void copyFiles(const std::string& folderName, const std::vector<platform::Url>& files);
};

namespace {

std::optional<std::string> exporterHomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return std::string(home);
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir)
        return std::string(user->pw_dir);
    return std::nullopt;
}

// The documents entry of the XDG user-dirs file: XDG_DOCUMENTS_DIR="$HOME/Documents".
std::optional<std::string> exporterUserDirsDocuments(const std::string& home) {
    std::string configHome;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config == '/')
        configHome = config;
    else
        configHome = home + "/.config";
    platform::Result<std::string> text = platform::readTextFile(configHome + "/user-dirs.dirs");
    if (!text) return std::nullopt;
    std::istringstream lines(*text);
    const std::string prefix = "XDG_DOCUMENTS_DIR=\"";
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        std::size_t close = line.find('"', prefix.size());
        if (close == std::string::npos) return std::nullopt;
        std::string value = line.substr(prefix.size(), close - prefix.size());
        if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
        if (value.empty() || value.front() != '/') return std::nullopt;
        return value;
    }
    return std::nullopt;
}

std::string exportFolderName(const platform::Url& sessionURL) {
    std::string name = sessionURL.lastPathComponent();
    const std::string extension = ".vantle";
    if (name.size() >= extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
        name.erase(name.size() - extension.size());
    return name;
}

} // namespace

std::optional<std::string> Exporter::defaultExportFolder() {
    if (const char* documents = std::getenv("XDG_DOCUMENTS_DIR"); documents && *documents == '/')
        return std::string(documents);
    std::optional<std::string> home = exporterHomeFolder();
    if (!home) return std::nullopt;
    if (std::optional<std::string> configured = exporterUserDirsDocuments(*home)) return configured;
    return *home + "/Documents";
}

Exporter::Exporter() : Exporter(std::nullopt, platform::globalQueue()) {
    state_->useDefaultFolder = true;
}

Exporter::Exporter(std::optional<std::string> exportFolder)
    : Exporter(std::move(exportFolder), platform::globalQueue()) {}

Exporter::Exporter(std::optional<std::string> exportFolder, platform::DispatchQueue& queue)
    : state_(std::make_shared<State>()), queue_(queue) {
    state_->useDefaultFolder = false;
    state_->folder = std::move(exportFolder);
}

Exporter::~Exporter() = default;

bool Exporter::running() const {
    return state_->running.load();
}

std::optional<platform::Url> Exporter::driveURL() const {
    std::lock_guard lock(state_->mutex);
    return state_->driveURL;
}

std::shared_ptr<Playlist> Exporter::playlist() const {
    std::lock_guard lock(state_->mutex);
    return state_->playlist;
}

void Exporter::exportPlaylist(const std::shared_ptr<Playlist>& playlist) {
    {
        std::lock_guard lock(state_->mutex);
        state_->playlist = playlist;
    }
    MainWindowServices* window = AppServices::mainWindow();
    if (!window || !playlist) return;
    std::optional<platform::Url> sessionURL = window->sessionURL();
    if (!sessionURL) return;
    if (state_->running.load()) {
        platform::consolePrint("export refused: an export is still running");
        return;
    }
    std::string name = exportFolderName(*sessionURL);
    platform::consolePrint(name);

    // The main thread may edit the playlist while the copies run: the run gets its own list.
    std::vector<platform::Url> files;
    for (const auto& entry : playlist->allEntries)
        if (entry && entry->isCheckmarked) files.push_back(entry->_url);

    state_->running.store(true);
    std::weak_ptr<State> weakState = state_;
    std::optional<std::string> folder = state_->useDefaultFolder ? defaultExportFolder() : state_->folder;
    queue_.async([weakState, name, files = std::move(files), folder = std::move(folder)] {
        if (std::shared_ptr<State> state = weakState.lock()) {
            std::lock_guard lock(state->mutex);
            if (folder)
                state->driveURL = platform::Url::fileURLWithPath(*folder, true);
            else
                state->driveURL.reset();
        }
        if (std::shared_ptr<State> state = weakState.lock()) {
            state->copyFiles(name, files);
            state->running.store(false);
        }
    });
}

void Exporter::copyFiles(const std::string& folderName, const std::vector<platform::Url>& files) {
    state_->copyFiles(folderName, files);
}

void Exporter::State::copyFiles(const std::string& folderName, const std::vector<platform::Url>& files) {
    std::optional<platform::Url> drive;
    {
        std::lock_guard lock(mutex);
        drive = driveURL;
    }
    if (!drive) return;
    platform::Url folderURL = drive->appendingPathComponent(folderName, true);
    if (!platform::createDirectory(folderURL.path()))
        platform::consolePrint("failed to create directory " + folderName);
    for (const platform::Url& file : files) {
        platform::Url destination = folderURL.appendingPathComponent(file.lastPathComponent(), false);
        if (platform::copyItem(file.path(), destination.path()))
            platform::consolePrint("copied to " + destination.absoluteString());
        else
            platform::consolePrint("didn't copy to " + destination.absoluteString());
    }
}

} // namespace vantle
