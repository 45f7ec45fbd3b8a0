#pragma once
// One running instance of the application per user. Stands in for the platform's launch services,
// which hand a document opened while the application runs to that application instead of starting
// another. Main thread only.

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace platform {

// The first start listens on a local socket; a later start connects, hands its paths over, waits for
// the running instance to take them and leaves. Paths are byte strings, never reinterpreted as text.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    // Where the running instance listens, and the lock that orders two starts at the same moment.
    struct Address {
        std::string socketPath;
        std::string lockPath;
    };
    // In $XDG_RUNTIME_DIR when it names a folder; otherwise in the temporary folder under a name
    // that holds the user's id.
    static Address forUser(std::string_view identifier);

    enum class Role {
        // This process is the running instance (also when it could not listen: reported, and it
        // then runs alone).
        running,
        // The running instance took the paths; this process should leave.
        handedOver,
        // Another instance holds the socket but did not answer in time; this process should leave.
        noAnswer,
    };

    explicit SingleInstance(Address address, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Hands `paths` (absolute) to the running instance, or becomes it when none answers; a socket
    // left behind by an instance that crashed is replaced. Waits at most `timeoutMilliseconds` for
    // the lock and for the running instance's answer. Call once.
    Role start(const std::vector<std::string>& paths, int timeoutMilliseconds = 10'000);

    // Receives the paths of each later start, in the order they came. Paths that arrived before a
    // receiver was set are delivered at once.
    void setReceiver(std::function<void(std::vector<std::string>)> receiver);

    const Address& address() const { return address_; }

private:
    void accept();
    void read(QLocalSocket* socket);
    void deliver(std::vector<std::string> paths);

    Address address_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void(std::vector<std::string>)> receiver_;
    std::vector<std::vector<std::string>> undelivered_;
};

} // namespace platform
