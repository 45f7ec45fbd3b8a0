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

#include <filesystem>
#include <system_error>

namespace vantle {

PropertiesViewController::PropertiesViewController(PropertiesEnvironment environment, QWidget* parent)
    : QDialog(parent), environment_(environment), sessionUrlLabel_(new QLabel),
      prefixTextfield_(new QLineEdit), prefixError_(new QLabel) {
    setWindowTitle(tr("Session Properties"));
    setWindowModality(Qt::WindowModal);
    sessionUrlLabel_->setObjectName("sessionUrlLabel");
    sessionUrlLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    prefixTextfield_->setObjectName("prefixTextfield");
    prefixTextfield_->setMinimumWidth(320);
    prefixTextfield_->setPlaceholderText(tr("A folder, such as /home/me/Music"));
    prefixError_->setObjectName("prefixError");
    prefixError_->setStyleSheet(QStringLiteral("color: #d70015;"));
    prefixError_->setWordWrap(true);
    prefixError_->hide();

    auto* choose = new QPushButton(tr("Choose…"));
    choose->setObjectName("choosePrefix");
    // Return in the prefix field takes the typed text; it must not also open the panel or close.
    choose->setAutoDefault(false);
    auto* prefixRow = new QHBoxLayout;
    prefixRow->addWidget(prefixTextfield_, 1);
    prefixRow->addWidget(choose);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->button(QDialogButtonBox::Close)->setText(tr("Done"));
    buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);

    auto* form = new QFormLayout(this);
    form->addRow(tr("Session file"), sessionUrlLabel_);
    form->addRow(tr("Directory prefix"), prefixRow);
    form->addRow(QString(), prefixError_);
    form->addRow(buttons);
    connect(choose, &QPushButton::clicked, this, &PropertiesViewController::choosePrefixPressed);
    // Done keeps the sheet open while the typed text is refused; Escape drops that text.
    connect(buttons, &QDialogButtonBox::rejected, this, [this] {
        if (commitTypedPrefix()) QDialog::reject();
    });
    connect(prefixTextfield_, &QLineEdit::editingFinished, this, [this] { (void)commitTypedPrefix(); });
    connect(prefixTextfield_, &QLineEdit::textEdited, prefixError_, &QLabel::hide);
}

std::optional<std::string> PropertiesViewController::folderPrefix(const std::string& text) {
    if (text.empty()) return text;
    if (text.front() != '/') return std::nullopt;
    std::error_code error;
    if (!std::filesystem::is_directory(text, error)) return std::nullopt;
    std::string prefix = text;
    // The table matches the prefix followed by "/": "/Music/" would never match.
    if (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
    return prefix;
}

bool PropertiesViewController::commitTypedPrefix() {
    if (!prefixTextfield_->isModified()) return true;
    const std::string text = prefixTextfield_->text().trimmed().toStdString();
    const std::optional<std::string> prefix = folderPrefix(text);
    if (!prefix) {
        prefixError_->setText(
            tr("“%1” is not a folder: the prefix stays as it was.").arg(QString::fromStdString(text)));
        prefixError_->show();
        return false;
    }
    prefixTextfield_->setModified(false);
    applyPrefix(*prefix);
    return true;
}

void PropertiesViewController::applyPrefix(const std::string& prefix) {
    prefixError_->hide();
    MainWindowServices& mainView = *environment_.mainView;
    const std::shared_ptr<Playlist> playlist = mainView.playlist();
    if (!playlist) return;
    if (prefix.empty())
        playlist->_directoryPrefix.reset();
    else
        playlist->_directoryPrefix = prefix;
    mainView.reloadTableSelecting(mainView.selectedRows());
    showDirectoryPrefix();
}

void PropertiesViewController::reject() {
    if (!commitTypedPrefix()) prefixTextfield_->setModified(false);
    QDialog::reject();
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
    environment_.filePanels->beginOpenPanel(this, std::move(options),
                                            [self](std::vector<platform::Url> chosen) {
                                                if (self && !chosen.empty())
                                                    self->applyPrefix(chosen.front().path());
                                            });
}

} // namespace vantle
