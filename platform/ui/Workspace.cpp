#include "platform/ui/Workspace.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QUrl>

#include <utility>

namespace platform {

namespace {

const QString fileManagerService = QStringLiteral("org.freedesktop.FileManager1");

bool showItemThroughFileManager(const QUrl& url) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const bool running = bus.interface()->isServiceRegistered(fileManagerService).value();
    if (!running && !bus.interface()->activatableServiceNames().value().contains(fileManagerService))
        return false;
    QDBusMessage call =
        QDBusMessage::createMethodCall(fileManagerService, QStringLiteral("/org/freedesktop/FileManager1"),
                                       fileManagerService, QStringLiteral("ShowItems"));
    call << QStringList{url.toString(QUrl::FullyEncoded)} << QString();
    return bus.send(call);
}

QUrl qtFileUrl(const std::string& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path));
}

} // namespace

QtWorkspace::QtWorkspace() : QtWorkspace(Handlers{}) {}

std::optional<std::string> QtWorkspace::defaultApplicationFor(const std::string& path) {
    const QString type = QMimeDatabase().mimeTypeForFile(QString::fromStdString(path)).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), type});
    // A local look-up in a few files; the deadline only guards against a hung helper.
    if (!query.waitForFinished(5000) || query.exitStatus() != QProcess::NormalExit) {
        query.kill();
        return std::nullopt;
    }
    if (query.exitCode() != 0) return std::nullopt;
    return QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed().toStdString();
}

QtWorkspace::QtWorkspace(Handlers handlers) : handlers_(std::move(handlers)) {
    if (!handlers_.openUrl)
        handlers_.openUrl = [](const QUrl& url) {
            // gio launches the default application and says whether it could (no application for
            // the type, or a terminal program without a terminal, is an error); xdg-open cannot.
            const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
            if (url.isLocalFile() && !gio.isEmpty()) {
                QProcess launch;
                launch.start(gio, {QStringLiteral("open"), url.toString(QUrl::FullyEncoded)});
                if (!launch.waitForFinished(10000)) {
                    launch.kill();
                    return false;
                }
                return launch.exitStatus() == QProcess::NormalExit && launch.exitCode() == 0;
            }
            if (url.isLocalFile()) {
                const std::optional<std::string> application =
                    defaultApplicationFor(url.toLocalFile().toStdString());
                if (application && application->empty()) return false;
            }
            return QDesktopServices::openUrl(url);
        };
    if (!handlers_.showItem) handlers_.showItem = showItemThroughFileManager;
}

bool QtWorkspace::openFile(const Url& url) {
    if (url.isEmpty()) return false;
    return handlers_.openUrl(qtFileUrl(url.path()));
}

bool QtWorkspace::openUrl(std::string_view urlText) {
    const QUrl url(QString::fromUtf8(urlText.data(), qsizetype(urlText.size())), QUrl::StrictMode);
    if (!url.isValid() || url.isRelative()) return false;
    return handlers_.openUrl(url);
}

bool QtWorkspace::selectFile(const std::string& path, const std::string& rootFolder) {
    // Like the platform: without a file, a file manager window on the root folder.
    if (!path.empty() && handlers_.showItem(qtFileUrl(path))) return true;
    std::string folder = rootFolder;
    if (folder.empty() && !path.empty())
        folder = Url::fileURLWithPath(path).deletingLastPathComponent().path();
    if (folder.empty()) return false;
    return handlers_.openUrl(qtFileUrl(folder));
}

} // namespace platform
