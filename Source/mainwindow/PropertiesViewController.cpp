#include "Source/mainwindow/PropertiesViewController.h"

#include "Source/playback/Preferences.h"
#include "Source/session/MainWindowServices.h"
#include "Source/session/Playlist.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/FilePanels.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

namespace vantle {

PropertiesViewController::PropertiesViewController(PropertiesEnvironment environment, QWidget* parent)
    : QDialog(parent), environment_(environment), sessionUrlLabel_(new QLabel),
      prefixTextfield_(new QLineEdit) {
    setWindowTitle(tr("Session Properties"));
    setWindowModality(Qt::WindowModal);
    sessionUrlLabel_->setObjectName("sessionUrlLabel");
    sessionUrlLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    prefixTextfield_->setObjectName("prefixTextfield");
    prefixTextfield_->setReadOnly(true);
    prefixTextfield_->setMinimumWidth(320);

    auto* choose = new QPushButton(tr("Choose…"));
    choose->setObjectName("choosePrefix");
    auto* prefixRow = new QHBoxLayout;
    prefixRow->addWidget(prefixTextfield_, 1);
    prefixRow->addWidget(choose);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Done"));

    auto* form = new QFormLayout(this);
    form->addRow(tr("Session file"), sessionUrlLabel_);
    form->addRow(tr("Directory prefix"), prefixRow);
    form->addRow(buttons);
    connect(choose, &QPushButton::clicked, this, &PropertiesViewController::choosePrefixPressed);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void PropertiesViewController::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    showSessionLocation();
}

void PropertiesViewController::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (const std::shared_ptr<Playlist> playlist = environment_.mainView->playlist()) playlist->dirty = true;
}

void PropertiesViewController::showSessionLocation() {
    const std::optional<platform::Url> url = environment_.mainView->sessionURL();
    sessionUrlLabel_->setText(url ? QString::fromStdString(url->path()) : QString());
    showDirectoryPrefix();
}

void PropertiesViewController::showDirectoryPrefix() {
    const std::shared_ptr<Playlist> playlist = environment_.mainView->playlist();
    std::optional<std::string> prefix = playlist ? playlist->_directoryPrefix : std::nullopt;
    if (!prefix) prefix = environment_.defaults->string(Preferences::directoryPrefixKey);
    prefixTextfield_->setText(QString::fromStdString(prefix.value_or(std::string())));
}

void PropertiesViewController::choosePrefixPressed() {
    platform::OpenPanelOptions options;
    options.canChooseFiles = false;
    options.canChooseDirectories = true;
    options.allowsMultipleSelection = false;
    QPointer<PropertiesViewController> self(this);
    environment_.filePanels->beginOpenPanel(
        this, std::move(options), [self](std::vector<platform::Url> chosen) {
            if (!self || chosen.empty()) return;
            MainWindowServices& mainView = *self->environment_.mainView;
            const std::shared_ptr<Playlist> playlist = mainView.playlist();
            if (!playlist) return;
            playlist->_directoryPrefix = chosen.front().path();
            mainView.reloadTableSelecting(mainView.selectedRows());
            self->prefixTextfield_->setText(QString::fromStdString(*playlist->_directoryPrefix));
        });
}

} // namespace vantle
