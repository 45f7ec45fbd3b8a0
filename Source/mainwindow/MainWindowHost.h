#pragma once
// What the main view asks of the main window it is the content of (the main window controller):
// the toolbar's search field, mode display and tag filter line. Main thread only.

class QWidget;

namespace vantle {

class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    // Empties the search field and applies the empty filter.
    virtual void clearSearchField() = 0;
    // Whether `widget` is the toolbar's search field.
    virtual bool isSearchField(const QWidget* widget) const = 0;
    // Shows the player's mode.
    virtual void updateModeTools() = 0;
    // Prepare mode, as the mode tool sets it.
    virtual void actionPrepare() = 0;
    // Shows the playlist's include and exclude tags.
    virtual void rebuildTagFilterButtons() = 0;
};

} // namespace vantle
