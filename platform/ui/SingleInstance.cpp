#include "platform/ui/SingleInstance.h"

#include "platform/foundation/Console.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <optional>

#include <unistd.h>

namespace platform {

namespace {

// A message is NUL-terminated items: this tag, then one path each, then an empty item. A path never
// holds a NUL, so no escaping is needed and the bytes pass through untouched.
constexpr std::string_view handoverTag = "open-files-1";
// A larger message is no start of ours: the connection is dropped.
constexpr qsizetype handoverMessageLimit = qsizetype(SingleInstance::handoverLimitBytes);
constexpr char handoverAnswer = '+';

QByteArray handoverMessage(const std::vector<std::string>& paths) {
    QByteArray message(handoverTag.data(), qsizetype(handoverTag.size()));
    message.append('\0');
    for (const std::string& path : paths) {
        if (path.empty()) continue;
        message.append(path.data(), qsizetype(path.size()));
        message.append('\0');
    }
    message.append('\0');
    return message;
}

// The paths of a whole message; nothing while it is incomplete. False when it is no message of ours.
bool parseHandoverMessage(const QByteArray& buffer, std::optional<std::vector<std::string>>& paths) {
    const qsizetype end = buffer.indexOf(QByteArray("\0\0", 2));
    if (end < 0) return buffer.size() <= handoverMessageLimit;
    const QList<QByteArray> items = buffer.left(end).split('\0');
    if (items.isEmpty() || items.front().toStdString() != handoverTag) return false;
    paths.emplace();
    for (qsizetype i = 1; i < items.size(); ++i)
        paths->push_back(items[i].toStdString());
    return true;
}

} // namespace

SingleInstance::Address SingleInstance::forUser(std::string_view identifier,
                                                const std::vector<std::string>& folders,
                                                std::string_view display) {
    // The same folder named through a link is the same instance.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& folder : folders) {
        const QString named = QString::fromStdString(folder);
        const QString canonical = QFileInfo(named).canonicalFilePath();
        hash.addData((canonical.isEmpty() ? QDir::cleanPath(named) : canonical).toUtf8());
        hash.addData(QByteArrayView("\0", 1));
    }
    hash.addData(QByteArrayView(display.data(), qsizetype(display.size())));
    // 64 bits keep the socket's path well inside the 108 bytes a local address may have.
    const std::string key = std::string(identifier) + "-" + std::to_string(::getuid()) + "-" +
                            hash.result().toHex().left(16).toStdString();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    std::string base;
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        base = runtime.toStdString() + "/" + key;
    else
        // The temporary folder is shared: the user's id keeps users apart, and the socket is made
        // accessible to its owner only.
        base = QDir::tempPath().toStdString() + "/" + key;
    return {base + ".socket", base + ".lock"};
}

std::optional<std::string> SingleInstance::displayOf(std::string_view platformName) {
    const QString platform = QString::fromUtf8(platformName.data(), qsizetype(platformName.size()));
    if (platform == "offscreen" || platform.startsWith("minimal")) return std::nullopt;
    if (platform == "xcb") {
        const QString display = qEnvironmentVariable("DISPLAY");
        if (display.isEmpty()) return std::nullopt;
        return "xcb " + display.toStdString();
    }
    if (platform.startsWith("wayland")) {
        // Qt's own default when the variable is not set.
        const QString display = qEnvironmentVariable("WAYLAND_DISPLAY", "wayland-0");
        return "wayland " + display.toStdString();
    }
    // A framebuffer or a remote-view plugin: one screen per machine.
    return platform.toStdString();
}

SingleInstance::SingleInstance(Address address, QObject* parent)
    : QObject(parent), address_(std::move(address)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::start(const std::vector<std::string>& paths, int timeoutMilliseconds) {
    const QDeadlineTimer deadline(timeoutMilliseconds);
    const QString socketPath = QString::fromStdString(address_.socketPath);
    // Without the lock, two starts at the same moment could each find no instance and each listen,
    // the second one removing the first one's socket. A lock left by a crashed start is taken over
    // (its process is gone).
    QLockFile lock(QString::fromStdString(address_.lockPath));
    if (!lock.tryLock(int(deadline.remainingTime()))) {
        consolePrint("can't take the start lock " + address_.lockPath);
        return Role::noAnswer;
    }

    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (socket.waitForConnected(int(deadline.remainingTime()))) {
        const QByteArray message = handoverMessage(paths);
        // The running instance would drop it unread, and this start could only say it had no answer.
        if (message.size() > handoverMessageLimit) return Role::tooMany;
        socket.write(message);
        socket.flush();
        char answer = 0;
        while (socket.bytesAvailable() == 0 && !deadline.hasExpired() &&
               socket.state() == QLocalSocket::ConnectedState)
            (void)socket.waitForReadyRead(int(deadline.remainingTime()));
        if (socket.getChar(&answer) && answer == handoverAnswer) return Role::handedOver;
        return Role::noAnswer;
    }
    const QLocalSocket::LocalSocketError error = socket.error();
    if (error != QLocalSocket::ServerNotFoundError && error != QLocalSocket::ConnectionRefusedError) {
        // Someone listens but does not accept (a hung instance): starting a second one would give
        // two windows on the same session.
        return Role::noAnswer;
    }

    // Nobody listens: a socket file still there was left by an instance that crashed.
    QLocalServer::removeServer(socketPath);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_.get(), &QLocalServer::newConnection, this, [this] { accept(); });
    if (!server_->listen(socketPath))
        consolePrint("can't listen at " + address_.socketPath + ": " + server_->errorString().toStdString() +
                     "; later starts open windows of their own");
    return Role::running;
}

void SingleInstance::setReceiver(std::function<void(std::vector<std::string>)> receiver) {
    receiver_ = std::move(receiver);
    std::vector<std::vector<std::string>> waiting = std::move(undelivered_);
    undelivered_.clear();
    for (std::vector<std::string>& paths : waiting)
        deliver(std::move(paths));
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        if (socket->bytesAvailable() > 0) read(socket);
    }
}

void SingleInstance::read(QLocalSocket* socket) {
    // The bytes wait in the socket until the message is whole.
    const QByteArray buffer = socket->peek(handoverMessageLimit + 2);
    std::optional<std::vector<std::string>> paths;
    if (!parseHandoverMessage(buffer, paths)) {
        socket->abort();
        return;
    }
    if (!paths) return;
    (void)socket->readAll();
    socket->putChar(handoverAnswer);
    socket->flush();
    socket->disconnectFromServer();
    deliver(std::move(*paths));
}

void SingleInstance::deliver(std::vector<std::string> paths) {
    if (!receiver_) {
        undelivered_.push_back(std::move(paths));
        return;
    }
    receiver_(std::move(paths));
}

} // namespace platform
