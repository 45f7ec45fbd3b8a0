#include "platform/ui/FilePanels.h"

#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>

#include <utility>

namespace platform {

namespace {

enum class PanelKind { open, save };

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// A non-native file dialog that keeps to the panel's rules where Qt's own dialog differs: it can
// choose files and folders together, refuses files of other types and gives a save name the
// required extension before the overwrite question is asked.
class PanelFileDialog final : public QFileDialog {
public:
    PanelFileDialog(QWidget* window, PanelKind kind, std::vector<std::string> extensions)
        : QFileDialog(window), kind_(kind), extensions_(std::move(extensions)) {
        setOption(QFileDialog::DontUseNativeDialog);
        connect(this, &QFileDialog::filesSelected, this,
                [this](const QStringList& files) { chosen_ = files; });
        connect(this, &QDialog::finished, this, [this](int result) { finishPanel(result); });
    }

    void chooseFilesAndFolders() { filesAndFolders_ = true; }
    void onClose(std::function<void(QStringList)> handler) { onClose_ = std::move(handler); }

    void accept() override {
        QStringList files = selectedFiles();
        if (kind_ == PanelKind::save) {
            if (files.size() == 1 && !hasAllowedExtension(files.front().toStdString(), extensions_))
                proposeName(files.front() + u'.' + QString::fromStdString(extensions_.front()));
            QFileDialog::accept();
            return;
        }
        for (const QString& file : files)
            if (!QFileInfo(file).isDir() && !hasAllowedExtension(file.toStdString(), extensions_)) return;
        if (!filesAndFolders_) {
            QFileDialog::accept();
            return;
        }
        // Qt's dialog would enter a chosen folder instead of choosing it; with nothing selected, OK
        // chooses the folder being shown.
        if (files.isEmpty()) files << directory().absolutePath();
        for (const QString& file : files)
            if (!QFileInfo::exists(file)) return;
        chosen_ = files;
        QDialog::accept();
    }

private:
    // selectFile() leaves the name field alone while it has the focus, which it has when the user
    // pressed Return in it.
    void proposeName(const QString& path) {
        const QFileInfo info(path);
        auto* field = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!field) {
            selectFile(path);
            return;
        }
        setDirectory(info.absolutePath());
        field->setText(info.fileName());
    }

    void finishPanel(int result) {
        auto handler = std::move(onClose_);
        onClose_ = nullptr;
        deleteLater();
        if (handler) handler(result == QDialog::Accepted ? chosen_ : QStringList());
    }

    PanelKind kind_;
    std::vector<std::string> extensions_;
    bool filesAndFolders_ = false;
    QStringList chosen_;
    std::function<void(QStringList)> onClose_;
};

void applyPanelTexts(QFileDialog& dialog, const std::string& directory, const std::string& message,
                     const std::string& prompt, const std::vector<std::string>& extensions) {
    if (!directory.empty()) dialog.setDirectory(QString::fromStdString(directory));
    if (!message.empty()) dialog.setWindowTitle(QString::fromStdString(message));
    if (!prompt.empty()) dialog.setLabelText(QFileDialog::Accept, QString::fromStdString(prompt));
    if (!extensions.empty()) {
        QStringList patterns;
        for (const auto& extension : extensions)
            patterns << QStringLiteral("*.") + QString::fromStdString(extension);
        dialog.setNameFilter(patterns.join(u' '));
    }
}

// "Audio files (*.wav *.mp3)", "All files (*)".
QStringList panelNameFilters(const std::vector<PanelFileFilter>& filters) {
    QStringList names;
    for (const PanelFileFilter& filter : filters) {
        QStringList patterns;
        for (const auto& extension : filter.extensions)
            patterns << QStringLiteral("*.") + QString::fromStdString(extension);
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        names << QString::fromStdString(filter.name) + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return names;
}

void showAsSheet(QDialog& dialog, QWidget* window) {
    if (window) {
        dialog.open();
    } else {
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
    }
}

} // namespace

bool hasAllowedExtension(const std::string& path, const std::vector<std::string>& extensions) {
    if (extensions.empty()) return true;
    const std::string extension = Url::fileURLWithPath(path, false).pathExtension();
    if (extension.empty()) return false;
    for (const auto& allowed : extensions)
        if (equalIgnoringAsciiCase(extension, allowed)) return true;
    return false;
}

void QtFilePanels::beginOpenPanel(QWidget* window, OpenPanelOptions options, OpenPanelCompletion completion) {
    auto* dialog = new PanelFileDialog(window, PanelKind::open, options.allowedExtensions);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    if (options.canChooseDirectories && !options.canChooseFiles) {
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(options.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
        if (options.canChooseDirectories) dialog->chooseFilesAndFolders();
    }
    applyPanelTexts(*dialog, options.directory, options.message, options.prompt, options.allowedExtensions);
    if (!options.fileFilters.empty()) dialog->setNameFilters(panelNameFilters(options.fileFilters));
    dialog->onClose([completion = std::move(completion)](const QStringList& files) {
        std::vector<Url> urls;
        for (const QString& file : files)
            urls.push_back(Url::fileURLWithPath(file.toStdString()));
        if (completion) completion(std::move(urls));
    });
    showAsSheet(*dialog, window);
}

void QtFilePanels::beginSavePanel(QWidget* window, SavePanelOptions options, SavePanelCompletion completion) {
    auto* dialog = new PanelFileDialog(window, PanelKind::save, options.allowedExtensions);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!options.canCreateDirectories) dialog->setOption(QFileDialog::ReadOnly);
    applyPanelTexts(*dialog, options.directory, options.message, options.prompt, options.allowedExtensions);
    if (!options.allowedExtensions.empty())
        dialog->setDefaultSuffix(QString::fromStdString(options.allowedExtensions.front()));
    if (!options.nameFieldStringValue.empty())
        dialog->selectFile(QString::fromStdString(options.nameFieldStringValue));
    dialog->onClose([completion = std::move(completion),
                     extensions = options.allowedExtensions](const QStringList& files) {
        std::optional<Url> url;
        if (!files.isEmpty()) {
            std::string path = files.front().toStdString();
            if (!hasAllowedExtension(path, extensions)) path += "." + extensions.front();
            url = Url::fileURLWithPath(path, false);
        }
        if (completion) completion(std::move(url));
    });
    showAsSheet(*dialog, window);
}

} // namespace platform
