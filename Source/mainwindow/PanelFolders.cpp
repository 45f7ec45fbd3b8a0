#include "Source/mainwindow/PanelFolders.h"

#include "Source/playback/Preferences.h"
#include "platform/foundation/UserDefaults.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace vantle {

namespace {

// The folder of the side-document panel (a file URL).
constexpr std::string_view attachmentPanelFolderKey = "attachmentPanelFolder";

std::string_view panelFolderKey(PanelFolderKind kind) {
    switch (kind) {
    case PanelFolderKind::audio:
        return Preferences::audioPanelFolderKey;
    case PanelFolderKind::session:
        return Preferences::sessionPanelFolderKey;
    case PanelFolderKind::attachment:
        break;
    }
    return attachmentPanelFolderKey;
}

std::optional<std::string> existingPanelFolder(const std::string& path) {
    std::error_code error;
    if (path.empty() || !std::filesystem::is_directory(path, error)) return std::nullopt;
    return path;
}

// File names are bytes; Qt's strings hold them in the local 8-bit encoding.
std::string panelFolderPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

std::string panelStartFolder(const platform::UserDefaults& defaults, PanelFolderKind kind) {
    if (std::optional<platform::Url> last = defaults.url(panelFolderKey(kind)))
        if (std::optional<std::string> folder = existingPanelFolder(last->path())) return *folder;
    // Qt reads the user's folders from user-dirs.dirs, as xdg-user-dir does.
    const auto location =
        kind == PanelFolderKind::audio ? QStandardPaths::MusicLocation : QStandardPaths::DocumentsLocation;
    if (std::optional<std::string> folder =
            existingPanelFolder(panelFolderPath(QStandardPaths::writableLocation(location))))
        return *folder;
    return panelFolderPath(QDir::homePath());
}

std::string nearestExistingFolder(const std::string& path) {
    if (!path.starts_with('/')) return {};
    std::filesystem::path folder = std::filesystem::path(path).lexically_normal().parent_path();
    // The root always exists, so the walk ends there at the latest.
    while (!existingPanelFolder(folder.string()) && folder.has_relative_path())
        folder = folder.parent_path();
    return folder.string();
}

void rememberPanelFolder(platform::UserDefaults& defaults, PanelFolderKind kind,
                         const std::vector<platform::Url>& chosen) {
    if (chosen.empty() || !chosen.front().isFileURL()) return;
    defaults.setUrl(panelFolderKey(kind), chosen.front().deletingLastPathComponent());
}

} // namespace vantle
