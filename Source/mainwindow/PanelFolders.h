#pragma once
// Where the open and save panels start: the folder last used for the kind of file they choose, or
// the user's Music folder for audio and Documents folder for sessions and side documents. Main
// thread.

#include "platform/foundation/Url.h"

#include <string>
#include <vector>

namespace platform {
class UserDefaults;
}

namespace vantle {

enum class PanelFolderKind { audio, session, attachment };

// The folder last used for the kind while it still exists; else the user's folder for it (the XDG
// user directories), while that exists; else the home folder.
std::string panelStartFolder(const platform::UserDefaults& defaults, PanelFolderKind kind);

// The folder that holds `path` while it exists, else its nearest parent that does: where a panel
// looking for a moved file starts. Empty for a path that is not absolute.
std::string nearestExistingFolder(const std::string& path);

// Remembers the folder that holds the first chosen location; nothing chosen changes nothing.
void rememberPanelFolder(platform::UserDefaults& defaults, PanelFolderKind kind,
                         const std::vector<platform::Url>& chosen);

} // namespace vantle
