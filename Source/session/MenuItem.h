#pragma once
// A menu item as the session model sees it: the Edit menu's Undo and Redo items. Main thread.

#include <string>

namespace vantle {

// Implemented by the main window over its real menu items; tests use a fake.
class MenuItem {
public:
    virtual ~MenuItem() = default;
    virtual void setEnabled(bool enabled) = 0;
    virtual void setTitle(const std::string& title) = 0;
};

} // namespace vantle
