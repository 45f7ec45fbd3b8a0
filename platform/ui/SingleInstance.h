#pragma once
// One running instance of the application per user, set of folders and display. Stands in for the
// platform's launch services, which hand a document opened while the application runs to that
// application instead of starting another. Main thread only.

#include <QObject>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
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
    // The instance of this user that keeps its files in `folders` (state, settings) and shows its
    // windows on `display` (see displayOf): a start with other folders or on another display is
    // another instance, and its files must not reach this one's window. In $XDG_RUNTIME_DIR when it
    // names a folder, otherwise in the temporary folder; the name holds the user's id and a hash of
    // the folders and the display.
    static Address forUser(std::string_view identifier, const std::vector<std::string>& folders,
                           std::string_view display);
    // The display that windows of the platform plugin `platformName` appear on ("xcb" and $DISPLAY,
    // "wayland" and $WAYLAND_DISPLAY, ...). None for a platform no user sees (offscreen, minimal)
    // or an X display that is not named: such a process hands nothing over and takes nothing.
    static std::optional<std::string> displayOf(std::string_view platformName);

    enum class Role {
        // This process is the running instance (also when it could not listen: reported, and it
        // then runs alone).
        running,
        // The running instance took the paths; this process should leave.
        handedOver,
        // Another instance holds the socket but did not answer in time; this process should leave.
        noAnswer,
        // The running instance listens, but the paths are more than it takes from one start
        // (handoverLimitBytes): nothing was handed over; this process should leave.
        tooMany,
    };
    // The most a start hands over at once, its paths and their separators together.
    static constexpr std::size_t handoverLimitBytes = 8 * 1024 * 1024;

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
