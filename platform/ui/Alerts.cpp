#include "platform/ui/Alerts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <memory>
#include <utility>

namespace platform {

namespace {

QMessageBox::Icon alertIcon(AlertStyle style) {
    switch (style) {
    case AlertStyle::informational:
        return QMessageBox::Information;
    case AlertStyle::critical:
        return QMessageBox::Critical;
    case AlertStyle::warning:
        break;
    }
    return QMessageBox::Warning;
}

} // namespace

void QtAlerts::beginAlert(QWidget* window, AlertOptions options, AlertCompletion completion) {
    if (options.buttons.empty()) options.buttons.push_back("OK");
    auto* box = new QMessageBox(alertIcon(options.style), QString(),
                                QString::fromStdString(options.messageText), QMessageBox::NoButton, window);
    box->setInformativeText(QString::fromStdString(options.informativeText));

    std::vector<QAbstractButton*> buttons;
    QAbstractButton* escape = nullptr;
    for (std::size_t i = 0; i < options.buttons.size(); ++i) {
        const bool isCancel = options.buttons[i] == "Cancel";
        const auto role = i == 0     ? QMessageBox::AcceptRole
                          : isCancel ? QMessageBox::RejectRole
                                     : QMessageBox::ActionRole;
        QPushButton* button = box->addButton(QString::fromStdString(options.buttons[i]), role);
        // The default button also has the focus, so Space answers it as Return does.
        if (i == std::min(options.defaultButton, options.buttons.size() - 1)) box->setDefaultButton(button);
        if (isCancel && !escape) escape = button;
        buttons.push_back(button);
    }
    // A lone button also answers Escape; otherwise, without a "Cancel", Escape does nothing.
    if (!escape && buttons.size() == 1) escape = buttons.front();
    if (escape) box->setEscapeButton(escape);

    QObject::connect(
        box, &QDialog::finished, box,
        [box, buttons, escape, completion = std::make_shared<AlertCompletion>(std::move(completion))] {
            AlertCompletion done = std::move(*completion);
            *completion = nullptr;
            box->deleteLater();
            // Closed without a click (reject() from outside): the Escape answer, else the last.
            QAbstractButton* clicked = box->clickedButton();
            if (!clicked) clicked = escape ? escape : buttons.back();
            auto found = std::find(buttons.begin(), buttons.end(), clicked);
            if (found == buttons.end()) found = buttons.end() - 1;
            if (done) done(int(found - buttons.begin()));
        });
    if (window) {
        box->open();
    } else {
        box->setWindowModality(Qt::ApplicationModal);
        box->show();
    }
}

} // namespace platform
