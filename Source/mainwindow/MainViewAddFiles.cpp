// Adding audio files and folders chosen with the open panel.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/PanelFolders.h"
#include "Source/mainwindow/RefusedFile.h"
#include "Source/session/Playlist.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/files/AudioFileSettings.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Alerts.h"
#include "platform/ui/FilePanels.h"

#include <QPointer>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>

namespace vantle {

void MainViewController::chooseFilesToAdd() {
    platform::OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;
    options.directory = panelStartFolder(*defaults_, PanelFolderKind::audio);
    options.message = "Add Files";
    options.prompt = "Add";
    // Songs packed with their karaoke graphics come as zip archives.
    std::vector<std::string> songExtensions = platform::audioFileExtensions();
    songExtensions.push_back("zip");
    options.fileFilters = {{"Audio files", songExtensions}, {"All files", {}}};
    QPointer<MainViewController> self(this);
    filePanels_->beginOpenPanel(window(), std::move(options), [self](std::vector<platform::Url> chosen) {
        if (self && !chosen.empty()) self->addChosenFiles(chosen);
    });
}

void MainViewController::addChosenFiles(const std::vector<platform::Url>& chosen) {
    rememberPanelFolder(*defaults_, PanelFolderKind::audio, chosen);
    // Everything one panel chose is one undo step.
    std::vector<platform::Url> urls;
    for (const platform::Url& location : chosen) {
        std::vector<platform::Url> collected = filesAt(location);
        urls.insert(urls.end(), collected.begin(), collected.end());
    }
    insertEntries(urls);
    // Each file's entry, the first listed of its file, looked up once: thousands of files chosen for
    // a list of thousands must not each search the whole list.
    std::unordered_map<platform::Url, std::shared_ptr<PlaylistEntry>> listed;
    listed.reserve(playlist_->allEntries.size());
    for (const std::shared_ptr<PlaylistEntry>& entry : playlist_->allEntries)
        if (entry) listed.emplace(entry->_url, entry);

    // The first file that made it in becomes the selected row when the filter shows it, and the
    // current entry unless the music plays.
    for (const platform::Url& url : urls) {
        auto added = listed.find(url);
        if (added == listed.end()) continue;
        if (std::optional<std::size_t> row = playlist_->row(added->second)) {
            loadEntryAtRowAfterListEdit(*row);
            tableView_->selectRows({*row});
        }
        break;
    }

    // A folder may hold pictures and notes beside its music; only files chosen one by one are
    // worth a word when they are not audio.
    std::vector<RefusedFile> refused;
    for (const platform::Url& location : chosen) {
        if (platform::isDirectory(location.path()) || listed.count(location)) continue;
        // A zip is refused for a reason of its own (not one song, too large, damaged): say which.
        const std::string reason =
            songArchiveRefusal(location.path()).value_or("not an audio file that Vantle can play");
        platform::consolePrint("can't add " + platform::escapingInvalidUtf8(location.path()) + ": " + reason);
        refused.push_back({location.path(), reason});
    }
    reportRefusedFiles(refused);
}

std::vector<platform::Url> MainViewController::filesAt(const platform::Url& location) {
    namespace fs = std::filesystem;
    std::vector<platform::Url> urls{location};
    std::error_code error;
    if (fs::is_directory(location.path(), error)) {
        fs::recursive_directory_iterator items(location.path(), fs::directory_options::skip_permission_denied,
                                               error);
        if (error) {
            platform::consolePrint(error.message() + " " + location.absoluteString());
            return {};
        }
        for (; items != fs::recursive_directory_iterator(); items.increment(error)) {
            const fs::path& path = items->path();
            if (path.filename().string().starts_with('.')) {
                items.disable_recursion_pending();
                continue;
            }
            // A link to a file counts as the file; linked folders are not entered, so no loop.
            const bool regular = items->is_regular_file(error);
            if (error) {
                platform::consolePrint(error.message() + " " +
                                       platform::Url::fileURLWithPath(path.string()).absoluteString());
                error.clear();
                continue;
            }
            if (regular) urls.push_back(platform::Url::fileURLWithPath(path.string(), false));
        }
    }
    std::sort(urls.begin(), urls.end(),
              [](const platform::Url& a, const platform::Url& b) { return a.path() < b.path(); });
    return urls;
}

void MainViewController::addFiles(const platform::Url& location,
                                  const std::shared_ptr<PlaylistEntry>& before) {
    std::vector<platform::Url> urls = filesAt(location);
    if (!urls.empty()) insertEntries(urls, before);
}

void MainViewController::reportRefusedFiles(const std::vector<RefusedFile>& refused) {
    if (refused.empty()) return;
    platform::AlertOptions options;
    options.messageText = refused.size() == 1 ? std::string("A file could not be added.")
                                              : std::to_string(refused.size()) + " files could not be added.";
    // A whole folder of foreign files must not make an alert taller than the screen.
    constexpr std::size_t listed = 12;
    for (std::size_t i = 0; i < refused.size() && i < listed; ++i) {
        if (i > 0) options.informativeText += "\n";
        options.informativeText +=
            platform::escapingControlCharacters(platform::replacingInvalidUtf8(refused[i].path)) + ": " +
            refused[i].reason;
    }
    if (refused.size() > listed)
        options.informativeText +=
            "\n… and " + std::to_string(refused.size() - listed) + " more (listed in the console)";
    alerts_->beginAlert(window(), std::move(options), {});
}

} // namespace vantle
