// One instance per user: later starts hand their paths to the running one, in another thread as
// another process would, and a crashed instance's socket does not block the next start.

#include "platform/ui/SingleInstance.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using platform::SingleInstance;
using ::testing::ElementsAre;

// A start in a thread of its own, the running instance's loop turning meanwhile.
SingleInstance::Role startElsewhere(const SingleInstance::Address& address, std::vector<std::string> paths) {
    std::atomic<bool> done = false;
    SingleInstance::Role role = SingleInstance::Role::running;
    std::thread later([&] {
        SingleInstance instance(address);
        role = instance.start(paths);
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    later.join();
    return role;
}

// What a crashed instance leaves: a socket file nobody listens on.
void leaveStaleSocket(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un name{};
    name.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof name.sun_path);
    path.copy(name.sun_path, path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&name), sizeof name), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::exists(path));
}

TEST(SingleInstance, LaterStartsHandTheirPathsOverByteForByte) {
    platform_ui_test::TemporaryFolder folder;
    const SingleInstance::Address address{folder.path + "/app.socket", folder.path + "/app.lock"};
    SingleInstance running(address);
    ASSERT_EQ(running.start({"/ignored"}), SingleInstance::Role::running);

    // Handed over before anyone listens for them: kept for the receiver.
    const std::string latin1 = "/music/caf\xE9.wav";
    ASSERT_EQ(startElsewhere(address, {latin1, "/music/b c.flac"}), SingleInstance::Role::handedOver);
    std::vector<std::vector<std::string>> received;
    running.setReceiver([&](std::vector<std::string> paths) { received.push_back(std::move(paths)); });
    ASSERT_THAT(received, ElementsAre(ElementsAre(latin1, "/music/b c.flac")));

    // A stranger's bytes are dropped and the instance goes on serving; a start without files still
    // only brings the running one forward.
    QLocalSocket stranger;
    stranger.connectToServer(QString::fromStdString(address.socketPath));
    ASSERT_TRUE(stranger.waitForConnected(10'000));
    stranger.write(QByteArray("GET / HTTP/1.0\r\n\r\n").append(QByteArray(9 * 1024 * 1024, 'x')));
    QElapsedTimer waited;
    waited.start();
    while (stranger.state() != QLocalSocket::UnconnectedState && waited.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(stranger.state(), QLocalSocket::UnconnectedState);
    EXPECT_EQ(startElsewhere(address, {}), SingleInstance::Role::handedOver);
    EXPECT_THAT(received, ElementsAre(::testing::SizeIs(2), ::testing::IsEmpty()));
}

TEST(SingleInstance, ACrashedInstancesSocketIsReplacedAndAHungOneIsNotTakenOver) {
    platform_ui_test::TemporaryFolder folder;
    const SingleInstance::Address address{folder.path + "/app.socket", folder.path + "/app.lock"};
    leaveStaleSocket(address.socketPath);
    SingleInstance running(address);
    ASSERT_EQ(running.start({}), SingleInstance::Role::running);
    std::vector<std::string> received;
    running.setReceiver([&](std::vector<std::string> paths) { received = std::move(paths); });
    EXPECT_EQ(startElsewhere(address, {"/a.ogg"}), SingleInstance::Role::handedOver);
    EXPECT_THAT(received, ElementsAre("/a.ogg"));

    // An instance that accepts nothing (its loop is stuck) keeps its socket: the start gives up.
    const SingleInstance::Address hungAddress{folder.path + "/hung.socket", folder.path + "/hung.lock"};
    QLocalServer hung;
    ASSERT_TRUE(hung.listen(QString::fromStdString(hungAddress.socketPath)));
    SingleInstance late(hungAddress);
    EXPECT_EQ(late.start({"/b.ogg"}, 300), SingleInstance::Role::noAnswer);
    EXPECT_TRUE(std::filesystem::exists(hungAddress.socketPath));
}

TEST(SingleInstance, TheUsersAddressIsInTheRuntimeFolderOrNamedForTheUser) {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    platform_ui_test::TemporaryFolder folder;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder.path));
    EXPECT_EQ(SingleInstance::forUser("com.example.App").socketPath, folder.path + "/com.example.App.socket");
    qunsetenv("XDG_RUNTIME_DIR");
    const SingleInstance::Address fallback = SingleInstance::forUser("com.example.App");
    EXPECT_THAT(fallback.socketPath, ::testing::HasSubstr("com.example.App-" + std::to_string(::getuid())));
    EXPECT_NE(fallback.lockPath, fallback.socketPath);
    qputenv("XDG_RUNTIME_DIR", runtime);
}

} // namespace
