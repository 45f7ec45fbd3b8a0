#pragma once
// The window list of the Window menu, which the original platform keeps by itself: one item per
// open document window (the main window, the side-document windows) that brings it forward,
// keyed Ctrl+1, Ctrl+2, … as its content controller says. Main thread only.

#include <QObject>
#include <QPointer>

class QMenu;

namespace vantle {

class WindowListMenu final : public QObject {
    Q_OBJECT

public:
    // The items go after the menu's own commands, which stay as they are. The list follows windows
    // as they are shown, hidden, closed and renamed.
    explicit WindowListMenu(QMenu& menu);
    ~WindowListMenu() override;

    // Lists the document windows now (their items work from any window of the application).
    void refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshSoon();

    QPointer<QMenu> menu_;
    bool refreshPending_ = false;
};

} // namespace vantle
