#pragma once
// A menu item of the session model's kind (Undo, Redo) over a Qt action. Main thread only.

#include "Source/session/MenuItem.h"

#include <QAction>
#include <QPointer>

#include <string>

namespace vantle {

// Outlives its action safely: once the action is gone, nothing happens.
class QActionMenuItem final : public MenuItem {
public:
    explicit QActionMenuItem(QAction* action) : action_(action) {}
    void setEnabled(bool enabled) override {
        if (action_) action_->setEnabled(enabled);
    }
    void setTitle(const std::string& title) override {
        if (action_) action_->setText(QString::fromStdString(title));
    }
    QAction* action() const { return action_; }

private:
    QPointer<QAction> action_;
};

} // namespace vantle
