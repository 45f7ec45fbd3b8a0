// Adding audio files and folders chosen with the open panel.

#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/PanelFolders.h"
#include "Source/session/Playlist.h"
#include "Source/views/PlaylistTableView.h"
#include "platform/foundation/Console.h"
#include "platform/ui/FilePanels.h"

#include <QPointer>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vantle {

void MainViewController::chooseFilesToAdd() {
    platform::OpenPanelOptions options;
    options.canChooseFiles = true;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = true;
    options.directory = panelStartFolder(*defaults_, PanelFolderKind::audio);
    QPointer<MainViewController> self(this);
    filePanels_->beginOpenPanel(window(), std::move(options), [self](std::vector<platform::Url> urls) {
        if (!self || urls.empty()) return;
        rememberPanelFolder(*self->defaults_, PanelFolderKind::audio, urls);
        const std::size_t first = self->playlist_->allEntries.size();
        for (const platform::Url& url : urls)
            self->addFiles(url);
        if (self->playlist_->allEntries.size() == first) return;
        self->tableView_->selectRows({first});
        self->loadEntryAtRowAfterListEdit(first);
    });
}

void MainViewController::addFiles(const platform::Url& location,
                                  const std::shared_ptr<PlaylistEntry>& before) {
    namespace fs = std::filesystem;
    std::vector<platform::Url> urls{location};
    std::error_code error;
    if (fs::is_directory(location.path(), error)) {
        fs::recursive_directory_iterator items(location.path(), fs::directory_options::skip_permission_denied,
                                               error);
        if (error) {
            platform::consolePrint(error.message() + " " + location.absoluteString());
            return;
        }
        for (; items != fs::recursive_directory_iterator(); items.increment(error)) {
            const fs::path& path = items->path();
            if (path.filename().string().starts_with('.')) {
                items.disable_recursion_pending();
                continue;
            }
            const fs::file_status status = items->symlink_status(error);
            if (error) {
                platform::consolePrint(error.message() + " " +
                                       platform::Url::fileURLWithPath(path.string()).absoluteString());
                continue;
            }
            if (fs::is_regular_file(status))
                urls.push_back(platform::Url::fileURLWithPath(path.string(), false));
        }
    }
    std::sort(urls.begin(), urls.end(),
              [](const platform::Url& a, const platform::Url& b) { return a.path() < b.path(); });
    insertEntries(urls, before);
}

} // namespace vantle
