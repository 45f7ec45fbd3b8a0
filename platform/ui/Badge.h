#pragma once
// The application's badge: a short text that tells the user at a glance what the program is doing.
// Linux has no Dock tile to carry it, so the window shows it wherever it likes and plugs that display
// into the process's DockTile.

#include <QPointer>

#include <string>
#include <string_view>

class QLabel;

namespace platform {

// Something that shows the badge. Main thread only.
class Badge {
public:
    virtual ~Badge() = default;
    // Shows the text; an empty text removes the badge.
    virtual void setLabel(std::string_view text) = 0;
};

// The badge shown in a label the window owns (in its status bar, say); the label is hidden while there
// is no badge. Outlives its label safely. Main thread only.
class QtLabelBadge final : public Badge {
public:
    explicit QtLabelBadge(QLabel* label);
    void setLabel(std::string_view text) override;

private:
    QPointer<QLabel> label_;
};

// The stand-in for the application's Dock tile: keeps the badge text and hands it to the display the
// window plugged in, also when the text was set before the window was there. Main thread only.
class DockTile {
public:
    void setBadgeLabel(std::string_view text);
    const std::string& badgeLabel() const { return badgeLabel_; }

    // The display to show the badge on, which then shows the current text; null unplugs it. The caller
    // keeps it alive while it is plugged in.
    void setBadge(Badge* badge);
    Badge* badge() const { return badge_; }

private:
    std::string badgeLabel_;
    Badge* badge_ = nullptr;
};

// The process's Dock tile.
DockTile& dockTile();

} // namespace platform
