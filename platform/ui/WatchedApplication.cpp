#include "platform/ui/WatchedApplication.h"

#include <QAbstractEventDispatcher>
#include <QEvent>
#include <QMetaEnum>
#include <QMetaObject>
#include <QThread>

#include <dirent.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace platform {

namespace {

// The X server this program draws through, found as the peer of its socket: the window's thread waits
// for its answers, so a server kept from a processor holds the thread without any fault of its own.
std::vector<int> displayServers() {
    std::vector<int> servers;
    if (QGuiApplication::platformName() != "xcb") return servers;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors) return servers;
    while (const dirent* entry = ::readdir(descriptors)) {
        const int descriptor = std::atoi(entry->d_name);
        if (descriptor <= 2 || descriptor == ::dirfd(descriptors)) continue;
        sockaddr_un peer{};
        socklen_t size = sizeof peer;
        if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
            peer.sun_family != AF_UNIX)
            continue;
        // An abstract name starts with a zero byte.
        const std::string_view path(peer.sun_path + 1,
                                    size > sizeof(sa_family_t) + 1 ? size - sizeof(sa_family_t) - 1 : 0);
        ucred credentials{};
        socklen_t credentialsSize = sizeof credentials;
        if (path.find(".X11-unix/X") != std::string_view::npos &&
            ::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &credentialsSize) == 0 &&
            credentials.pid > 0)
            servers.push_back(credentials.pid);
    }
    ::closedir(descriptors);
    return servers;
}

} // namespace

WatchedApplication::WatchedApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // A loop nested in a delivery (a dialog's, a wait for a worker) turning is a return to a loop.
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread())) {
        connect(
            dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { loopTurned(); },
            Qt::DirectConnection);
        connect(
            dispatcher, &QAbstractEventDispatcher::awake, this, [this] { loopTurned(); },
            Qt::DirectConnection);
    }
}

WatchedApplication::~WatchedApplication() = default;

WatchedApplication* WatchedApplication::instance() {
    return dynamic_cast<WatchedApplication*>(QCoreApplication::instance());
}

void WatchedApplication::watch(std::optional<StallWatchdog::Options> options) {
    if (watchdog_ && depth_ > 0) watchdog_->stretchEnds();
    watchdog_.reset();
    if (!options) return;
    options->activity = [this] {
        if (const char* name = stretchName_.load()) return std::string(name);
        const QMetaObject* receiver = receiverClass_.load();
        const int type = eventType_.load();
        const char* typeName = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
        return std::string("delivering event ") + (typeName ? typeName : std::to_string(type).c_str()) +
               " to " + (receiver ? receiver->className() : "an object");
    };
    if (!options->clock) options->clock = StallWatchdog::workingTimeOfProcess(displayServers());
    watchdog_ = std::make_unique<StallWatchdog>(std::move(*options));
    if (depth_ > 0) watchdog_->stretchBegins();
}

WatchedApplication::Stretch::Stretch(const char* what) : application_(instance()) {
    if (!application_ || QThread::currentThread() != application_->thread()) {
        application_ = nullptr;
        return;
    }
    // Inside a delivery it is part of that delivery's stretch.
    if (application_->depth_++ > 0 || !application_->watchdog_) return;
    application_->stretchName_.store(what);
    application_->watchdog_->stretchBegins();
}

WatchedApplication::Stretch::~Stretch() {
    if (!application_ || --application_->depth_ > 0 || !application_->watchdog_) return;
    application_->watchdog_->stretchEnds();
    application_->stretchName_.store(nullptr);
}

void WatchedApplication::loopTurned() {
    if (!watchdog_ || depth_ == 0) return;
    watchdog_->stretchEnds();
    watchdog_->stretchBegins();
}

bool WatchedApplication::notify(QObject* receiver, QEvent* event) {
    if (!watchdog_ || QThread::currentThread() != thread()) return QApplication::notify(receiver, event);
    if (depth_++ == 0) {
        stretchName_.store(nullptr);
        receiverClass_.store(receiver->metaObject());
        eventType_.store(event->type());
        watchdog_->stretchBegins();
    }
    struct Leave {
        WatchedApplication& application;
        ~Leave() {
            if (--application.depth_ == 0 && application.watchdog_) application.watchdog_->stretchEnds();
        }
    } leave{*this};
    return QApplication::notify(receiver, event);
}

} // namespace platform
