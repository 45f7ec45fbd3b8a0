#pragma once
// Helpers shared by the platform user-interface tests: a temporary folder with files in it, a way to let
// deferred deletions happen and the dialog a call showed without a window.

#include "platform/foundation/Files.h"
#include "tests/support/TemporaryFolder.h"

#include <QApplication>
#include <QEvent>

#include <string>

namespace platform_ui_test {

struct TemporaryFolder : testsupport::TemporaryFolder {
    // Makes a file (or, with a trailing "/", a folder) below the folder and returns its path.
    std::string make(const std::string& name) {
        const std::string full = path + "/" + name;
        if (!name.empty() && name.back() == '/') {
            (void)platform::createDirectory(full);
            return full.substr(0, full.size() - 1);
        }
        (void)platform::writeFileAtomically(full, std::string_view("x"));
        return full;
    }
};

// Runs deleteLater() requests and other posted events.
inline void settleEvents() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// The visible top-level widget of type T, such as a dialog that is modal to the whole application.
template <typename T> T* visibleTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(widget); found && found->isVisible()) return found;
    return nullptr;
}

} // namespace platform_ui_test
