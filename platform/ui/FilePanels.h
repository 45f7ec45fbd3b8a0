#pragma once
// Open and save panels, shown as sheets on a window and answered through a completion.

#include "platform/foundation/Url.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace platform {

// A choice of the panel's file-type menu: the files it shows; no extensions shows every file.
struct PanelFileFilter {
    std::string name;
    // Without the dot ("wav"), compared ignoring case.
    std::vector<std::string> extensions;
    friend bool operator==(const PanelFileFilter&, const PanelFileFilter&) = default;
};

// The settings of an open panel (the platform's open panel and its properties).
struct OpenPanelOptions {
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    // Extensions without the dot ("vantle", "mp3"), compared ignoring ASCII case. Empty: any file.
    // Folders are never filtered.
    std::vector<std::string> allowedExtensions;
    // The folder shown first; empty leaves the choice to the panel.
    std::string directory;
    // The panel's message, shown as its title; empty keeps the default.
    std::string message;
    // The text of the OK button; empty keeps the default.
    std::string prompt;
    // The file-type menu, the first choice shown first. Unlike allowedExtensions these only show
    // and hide files; the user may pick any of them. Empty: the panel's own.
    std::vector<PanelFileFilter> fileFilters;
};

// The settings of a save panel.
struct SavePanelOptions {
    std::string directory;
    // The proposed file name ("Session.vantle").
    std::string nameFieldStringValue;
    // A chosen name that ends in none of these gets the first one appended, so "mine" and
    // "mine.txt" become "mine.vantle" and "mine.txt.vantle". Empty: any name.
    std::vector<std::string> allowedExtensions;
    bool canCreateDirectories = true;
    std::string message;
    std::string prompt;
};

// The chosen locations in the panel's order; empty when the user cancelled.
using OpenPanelCompletion = std::function<void(std::vector<Url>)>;
// The chosen location; nothing when the user cancelled.
using SavePanelCompletion = std::function<void(std::optional<Url>)>;

// Shows file panels. begin… returns at once; the completion runs later on the main thread, exactly
// once when the panel closes (never when the window is destroyed with the panel still open).
// Main thread only.
class FilePanels {
public:
    virtual ~FilePanels() = default;

    // `window` is the window the panel is a sheet on: the panel blocks that window only. Without a
    // window the panel blocks the whole application.
    virtual void beginOpenPanel(QWidget* window, OpenPanelOptions options,
                                OpenPanelCompletion completion) = 0;
    virtual void beginSavePanel(QWidget* window, SavePanelOptions options,
                                SavePanelCompletion completion) = 0;
};

// File panels made of Qt's own (non-native) file dialogs. Main thread only.
class QtFilePanels final : public FilePanels {
public:
    void beginOpenPanel(QWidget* window, OpenPanelOptions options, OpenPanelCompletion completion) override;
    void beginSavePanel(QWidget* window, SavePanelOptions options, SavePanelCompletion completion) override;
};

// Whether the path's extension is one of `extensions` (ASCII case ignored); true when the list is empty.
bool hasAllowedExtension(const std::string& path, const std::vector<std::string>& extensions);

} // namespace platform
