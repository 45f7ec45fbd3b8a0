#pragma once
// The base of the widgets that fill the application's document windows.

#include <QString>
#include <QWidget>

namespace vantle {

// The content of a document window (main, PDF, video); says under which key its window is reached
// from the Window menu. Main thread only.
class VtlViewController : public QWidget {
    Q_OBJECT

public:
    explicit VtlViewController(QWidget* parent = nullptr);

    // The key of the window's Window-menu item: "1" unless a subclass says otherwise.
    virtual QString keyEquivalent() const;
};

} // namespace vantle
