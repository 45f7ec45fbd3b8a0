#include "Source/session/Exporter.h"

#include "Source/session/AppServices.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/Text.h"
#include "platform/foundation/TextFile.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace vantle {

struct Exporter::State {
    bool useDefaultFolder = true;
    std::optional<std::string> folder;

    std::atomic<bool> running{false};
    mutable std::mutex mutex; // guards driveURL and playlist, which both threads touch
    std::optional<platform::Url> driveURL;
    std::shared_ptr<Playlist> playlist;
    // Main thread only.
    std::function<void(const ExportOutcome&)> finished;
    bool ownerGone = false;

    ExportOutcome copyFiles(const std::string& folderName, const std::vector<platform::Url>& files);
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

// Fills `into` as far as the file goes; the count read, or -1 on an error.
ssize_t exporterReadUpTo(int fd, std::vector<char>& into) {
    std::size_t filled = 0;
    while (filled < into.size()) {
        const ssize_t got = ::read(fd, into.data() + filled, into.size() - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(filled);
}

// Whether the file already in the export folder is a whole copy of the opened source.
bool exporterSameBytes(const platform::FileDescriptor& source, const std::string& copy) {
    struct stat sa {};
    struct stat sb {};
    platform::Result<platform::FileDescriptor> b = platform::openRegularFileForReading(copy, &sb);
    if (!b || ::fstat(source.get(), &sa) != 0 || sa.st_size != sb.st_size) return false;
    if (::lseek(source.get(), 0, SEEK_SET) != 0) return false;
    std::vector<char> chunkA(256 * 1024), chunkB(256 * 1024);
    for (;;) {
        const ssize_t gotA = exporterReadUpTo(source.get(), chunkA),
                      gotB = exporterReadUpTo(b->get(), chunkB);
        if (gotA < 0 || gotA != gotB) return false;
        if (gotA == 0) return true;
        if (std::memcmp(chunkA.data(), chunkB.data(), static_cast<std::size_t>(gotA)) != 0) return false;
    }
}

std::string exporterReason(const platform::Error& error, const std::string& source) {
    switch (error.code) {
    case ENOSPC:
    case EDQUOT:
        return "the disk is full";
    case EEXIST:
        return "a different file of that name is already there";
    case EISDIR:
        return "it is a folder";
    case EINVAL:
        return "it is not a regular file";
    case EACCES:
    case EPERM:
        return "permission denied";
    case EROFS:
        return "the disk is read-only";
    case EFBIG:
        return "it is too large for the disk";
    case ENOENT:
        if (!platform::fileExists(source)) return "the file is missing";
        break;
    default:
        break;
    }
    std::string reason = std::strerror(error.code);
    if (!reason.empty()) reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    return reason;
}

// Opens the entry's file for the copy when it is a song: a regular file, not one of the system's, that
// the player's reader opens as audio. Otherwise the reason it is not copied.
platform::Result<platform::FileDescriptor> exporterOpenSong(const std::string& path) {
    auto refused = [](std::string reason) {
        return platform::Error::make("vantle.export", std::move(reason));
    };
    platform::Result<platform::FileDescriptor> opened = platform::openRegularFileForReading(path);
    if (!opened) return refused(exporterReason(opened.error(), path));
    // Through the descriptor, so that what was checked is what is copied. The reader refuses a system
    // file unread.
    const auto audio = platform::AudioFile::openForReading(path, *opened);
    if (!audio)
        return refused(audio.error().code == int(platform::AudioFileError::systemFile)
                           ? "it is a system file, not audio"
                           : "it does not open as audio");
    return opened;
}

std::string exporterFiles(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " file" : " files");
}

} // namespace

ExportMessage exportMessage(const ExportOutcome& outcome) {
    ExportMessage message;
    if (!outcome.folder) {
        message.title = "The session was not exported";
        message.details = "No folder to export into was found: there is no home folder.";
        return message;
    }
    const std::size_t done = outcome.copied + outcome.alreadyThere;
    message.complete = outcome.notCopied.empty();
    // Only what this run copied was exported; what it found there already is counted apart.
    const bool one = message.complete && outcome.fileCount == 1;
    const std::string counted = one ? "The file"
                                : message.complete
                                    ? "All " + exporterFiles(outcome.fileCount)
                                    : std::to_string(done) + " of " + exporterFiles(outcome.fileCount);
    const std::string was = one ? " was" : " were";
    if (done == 0 && !message.complete)
        message.title = "No file was exported";
    else if (outcome.alreadyThere == 0)
        message.title = counted + was + " exported";
    else if (outcome.copied == 0)
        message.title = counted + was + " already in the folder";
    else
        message.title = counted + " are in the folder: " + std::to_string(outcome.copied) + " copied, " +
                        std::to_string(outcome.alreadyThere) + " already there";
    message.details = "Folder: " + platform::printableLine(outcome.folder->path());
    if (outcome.copied > 0) message.details += "\nCopied: " + exporterFiles(outcome.copied);
    if (outcome.alreadyThere > 0)
        message.details += "\nAlready there, left as they were: " + exporterFiles(outcome.alreadyThere);
    if (!outcome.notCopied.empty()) {
        message.details += "\nNot copied:";
        constexpr std::size_t listed = 8;
        for (std::size_t i = 0; i < outcome.notCopied.size() && i < listed; ++i)
            message.details += "\n• " + platform::printableLine(outcome.notCopied[i].name) + ": " +
                               outcome.notCopied[i].reason;
        if (outcome.notCopied.size() > listed)
            message.details += "\n… and " + std::to_string(outcome.notCopied.size() - listed) +
                               " more (each is named in the console output)";
    }
    return message;
}

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

Exporter::~Exporter() {
    state_->ownerGone = true;
}

void Exporter::setFinishedHandler(std::function<void(const ExportOutcome&)> handler) {
    state_->finished = std::move(handler);
}

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
        std::optional<ExportOutcome> outcome;
        if (std::shared_ptr<State> state = weakState.lock()) {
            outcome = state->copyFiles(name, files);
            state->running.store(false);
        }
        if (!outcome) return;
        platform::mainQueue().async([weakState, outcome = std::move(*outcome)] {
            // The flag, set on this thread, tells an exporter destroyed meanwhile from a live one.
            std::shared_ptr<State> state = weakState.lock();
            if (state && !state->ownerGone && state->finished) state->finished(outcome);
        });
    });
}

ExportOutcome Exporter::copyFiles(const std::string& folderName, const std::vector<platform::Url>& files) {
    return state_->copyFiles(folderName, files);
}

ExportOutcome Exporter::State::copyFiles(const std::string& folderName,
                                         const std::vector<platform::Url>& files) {
    ExportOutcome outcome;
    outcome.folderName = folderName;
    outcome.fileCount = files.size();
    std::optional<platform::Url> drive;
    {
        std::lock_guard lock(mutex);
        drive = driveURL;
    }
    if (!drive) return outcome;
    platform::Url folderURL = drive->appendingPathComponent(folderName, true);
    outcome.folder = folderURL;
    const platform::Result<void> made = platform::createDirectory(folderURL.path());
    if (!made)
        platform::consolePrint("failed to create directory " + folderName);
    else
        // What a run killed half-way left goes; a copy under way elsewhere holds its temporary locked.
        platform::removeTemporariesIn(folderURL.path());
    for (const platform::Url& file : files) {
        const std::string name = file.lastPathComponent();
        platform::Url destination = folderURL.appendingPathComponent(name, false);
        const platform::Result<platform::FileDescriptor> song = exporterOpenSong(file.path());
        if (!song) {
            outcome.notCopied.push_back({name, song.error().message});
            platform::consolePrint("didn't copy to " + destination.absoluteString() + ": " +
                                   song.error().message);
            continue;
        }
        const platform::Result<void> copied = platform::copyItem(*song, file.path(), destination.path());
        if (copied) {
            ++outcome.copied;
            platform::consolePrint("copied to " + destination.absoluteString());
        } else if (copied.error().code == EEXIST && exporterSameBytes(*song, destination.path())) {
            ++outcome.alreadyThere;
            platform::consolePrint("already copied to " + destination.absoluteString());
        } else {
            const std::string reason =
                made ? exporterReason(copied.error(), file.path()) : "the export folder could not be made";
            outcome.notCopied.push_back({name, reason});
            platform::consolePrint("didn't copy to " + destination.absoluteString() + ": " + reason);
        }
    }
    return outcome;
}

} // namespace vantle
