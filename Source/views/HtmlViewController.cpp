#include "Source/views/HtmlViewController.h"

#include "Source/views/WindowMenu.h"
#include "platform/foundation/Console.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <string>

namespace vantle {

namespace {

void htmlTrace(const std::string& message, const char* file, const char* function, int line) {
    platform::consolePrint("🟢 " + QFileInfo(QString::fromUtf8(file)).fileName().toStdString() + ": " +
                           function + ", Line: " + std::to_string(line) + ", Message: " + message);
}

} // namespace

HtmlViewController::HtmlViewController(HtmlViewEnvironment environment, QWidget* parent)
    : QWidget(parent), environment_(std::move(environment)), webView_(new QTextBrowser(this)) {
    if (environment_.pagesFolder.isEmpty()) environment_.pagesFolder = QStringLiteral(":/pages");
    if (!environment_.openUrl) environment_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    webView_->setObjectName("webView");
    // The view never follows a link itself: every activated link comes to linkActivated.
    webView_->setOpenLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(webView_);
    connect(webView_, &QTextBrowser::anchorClicked, this, &HtmlViewController::linkActivated);
}

void HtmlViewController::viewDidLoad() {
    loadContent(*webView_);
}

QString HtmlViewController::pagePath(const QString& name) const {
    return environment_.pagesFolder + "/" + name;
}

QString HtmlViewController::pageText(const QString& name) const {
    QFile file(pagePath(name));
    if (!file.open(QIODevice::ReadOnly)) return QStringLiteral("Vantle");
    return QString::fromUtf8(file.readAll());
}

void HtmlViewController::loadContent(QTextBrowser& view) {
    view.setHtml(pageText(QStringLiteral("index.html")));
}

void HtmlViewController::handleAppLink(const QString&) {}

void HtmlViewController::linkActivated(const QUrl& url) {
    htmlTrace("linkActivated", __FILE__, __func__, __LINE__);
    if (url.isEmpty()) return;
    if (url.scheme() == QStringLiteral("vantle")) {
        QString link = url.toString();
        if (link.startsWith(QStringLiteral("vantle:"))) link.remove(0, 7);
        handleAppLink(link);
        return;
    }
    htmlTrace("linkActivated url=" + url.toString().toStdString(), __FILE__, __func__, __LINE__);
    environment_.openUrl(url);
}

AboutViewController::AboutViewController(QString version, HtmlViewEnvironment environment, QWidget* parent)
    : HtmlViewController(std::move(environment), parent), version_(std::move(version)) {}

QString AboutViewController::pageWithVersion(const QString& page, const QString& version) {
    // A page is text, never a format: only the one placeholder changes.
    QString result = page;
    const qsizetype at = result.indexOf(QStringLiteral("%@"));
    if (at >= 0) result.replace(at, 2, version.toHtmlEscaped());
    return result;
}

void AboutViewController::loadContent(QTextBrowser& view) {
    view.setHtml(pageWithVersion(pageText(QStringLiteral("About.html")), version_));
}

void AboutViewController::handleAppLink(const QString& link) {
    if (link != QStringLiteral("help")) return;
    if (environment().showHelpWindow) {
        environment().showHelpWindow();
        return;
    }
    HtmlViewEnvironment help = environment();
    (new HtmlWindow(new HelpViewController(std::move(help)), tr("Vantle Help")))->show();
}

HelpViewController::HelpViewController(HtmlViewEnvironment environment, QWidget* parent)
    : HtmlViewController(std::move(environment), parent) {}

void HelpViewController::loadContent(QTextBrowser& view) {
    const QString path = pagePath(QStringLiteral("Help.html"));
    if (!QFileInfo::exists(path)) return;
    // Relative links and images resolve beside the page.
    view.setSearchPaths({QFileInfo(path).absolutePath()});
    view.setSource(path.startsWith(':') ? QUrl(QStringLiteral("qrc") + path) : QUrl::fromLocalFile(path));
}

HtmlWindow::HtmlWindow(HtmlViewController* content, const QString& title, QWidget* parent)
    : QMainWindow(parent) {
    setAttribute(Qt::WA_DeleteOnClose);
    content->setParent(this);
    setCentralWidget(content);
    setWindowTitle(title);
    resize(640, 560);
    addCloseKeys(*this, true);
    setListedInWindowMenu(*this);
    content->viewDidLoad();
}

} // namespace vantle
