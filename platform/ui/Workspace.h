#pragma once
// Handing files and links to other programs: the user's default application and the file manager.

#include "platform/foundation/Url.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QUrl;

namespace platform {

// Stands in for the platform's shared workspace. Each call reports whether the request was handed on;
// what the other program then does is not known. Main thread only.
class Workspace {
public:
    virtual ~Workspace() = default;

    // Opens the file (or folder) with the user's default application for it.
    virtual bool openFile(const Url& url) = 0;
    // Opens any URL text ("https://…", "mailto:…") with the user's default application for it; text that
    // is no absolute URL is refused.
    virtual bool openUrl(std::string_view urlText) = 0;
    // Shows the file selected in the file manager, in a window on `rootFolder` (the file's folder when
    // empty).
    virtual bool selectFile(const std::string& path, const std::string& rootFolder) = 0;
};

// The workspace through Qt's desktop services and, for selecting a file, the file manager's D-Bus
// interface (org.freedesktop.FileManager1); without it the root folder is opened instead.
// Main thread only.
class QtWorkspace final : public Workspace {
public:
    // The two ways out of the process, replaceable so that tests see what would be opened.
    struct Handlers {
        // Default: QDesktopServices::openUrl.
        std::function<bool(const QUrl&)> openUrl;
        // Asks the file manager to show the item; default: its D-Bus ShowItems call, false when no
        // file manager answers on the session bus.
        std::function<bool(const QUrl&)> showItem;
    };

    QtWorkspace();
    // An empty openUrl handler opens local files with gio, which reports a failed launch; without
    // gio it gives Qt's, asked for a local file only when the file's type has a default application:
    // Qt hands every file to xdg-open and calls that a success, even when xdg-open then finds no
    // program for it.
    explicit QtWorkspace(Handlers handlers);

    // The desktop file of the user's default application for the file's type ("org.gnome.Evince.desktop"),
    // as xdg-mime answers; empty when the type has none; nothing when xdg-mime cannot be asked.
    static std::optional<std::string> defaultApplicationFor(const std::string& path);

    bool openFile(const Url& url) override;
    bool openUrl(std::string_view urlText) override;
    bool selectFile(const std::string& path, const std::string& rootFolder) override;

private:
    Handlers handlers_;
};

} // namespace platform
