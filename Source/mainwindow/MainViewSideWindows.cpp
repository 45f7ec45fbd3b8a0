// The PDF windows, the two sheets and the Help menu's windows.

#include "Source/mainwindow/Environment.h"
#include "Source/mainwindow/MainViewController.h"

#include "Source/mainwindow/PreferenceViewController.h"
#include "Source/mainwindow/PropertiesViewController.h"
#include "Source/mainwindow/TempoWiring.h"
#include "Source/session/Attachment.h"
#include "Source/views/HtmlViewController.h"
#include "Source/views/PdfViewController.h"
#include "Source/views/WindowMenu.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Text.h"
#include "platform/ui/Workspace.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPdfDocument>

#include <algorithm>

namespace vantle {

void MainViewController::showPdfWindow(const Attachment& attachment) {
    auto* window = new PdfWindowController;
    std::unique_ptr<QPdfDocument> document =
        PdfViewController::openDocument(QString::fromStdString(attachment.url.path()));
    if (document)
        window->pdfViewController().setTheDocument(std::move(document));
    else
        platform::consolePrint("can't read the PDF " + platform::escapingInvalidUtf8(attachment.url.path()));
    window->setWindowTitle(
        QString::fromStdString(platform::escapingControlCharacters(attachment.url.lastPathComponent())));
    // Only the latest one is the main view's; an earlier one stays open until it is closed.
    pdfWindow_ = window;
    std::erase_if(pdfWindows_, [](const QPointer<PdfWindowController>& open) { return !open; });
    pdfWindows_.emplace_back(window);
    window->show();
}

PdfViewController* MainViewController::pdfViewController() const {
    return pdfWindow_ ? &pdfWindow_->pdfViewController() : nullptr;
}

PdfViewController* MainViewController::activePdfWindow() const {
    if (!pdfWindow_ || !pdfWindow_->isVisible() || QApplication::activeWindow() != pdfWindow_.data())
        return nullptr;
    return &pdfWindow_->pdfViewController();
}

void MainViewController::showPreferences() {
    PreferenceEnvironment environment;
    environment.defaults = defaults_;
    environment.filePanels = filePanels_;
    environment.makeDanceTable = [this](QWidget* parent) { return tempo_->makeDanceTableEditor(parent); };
    auto* sheet = new PreferenceViewController(std::move(environment), window());
    sheet->setObjectName("preferencesSheet");
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // Escape closes a dialog by itself.
    addCloseKeys(*sheet, false);
    sheet->open();
}

void MainViewController::showProperties() {
    PropertiesEnvironment environment;
    environment.mainView = this;
    environment.defaults = defaults_;
    environment.filePanels = filePanels_;
    auto* sheet = new PropertiesViewController(environment, window());
    sheet->setObjectName("propertiesSheet");
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    addCloseKeys(*sheet, false);
    sheet->open();
}

void MainViewController::buildHelpMenu(QMenu& menu) {
    HtmlViewEnvironment environment;
    environment.openUrl = [workspace = workspace_](const QUrl& url) {
        if (!workspace->openUrl(url.toString().toStdString()))
            platform::consolePrint("can't open " + url.toString().toStdString());
    };
    auto open = [](HtmlViewController* content, const QString& title) {
        (new HtmlWindow(content, title))->show();
    };
    menu.addAction(tr("Vantle Help"), this,
                   [open, environment] { open(new HelpViewController(environment), tr("Vantle Help")); })
        ->setObjectName("showHelp");
    menu.addAction(
            tr("Welcome"), this,
            [open, environment] { open(new HtmlViewController(environment), tr("Welcome to Vantle")); })
        ->setObjectName("showIndex");
    menu.addAction(
            tr("About Vantle"), this,
            [open, environment] {
                open(new AboutViewController(QString::fromStdString(Environment::version()), environment),
                     tr("About Vantle"));
            })
        ->setObjectName("showAbout");
}

} // namespace vantle
