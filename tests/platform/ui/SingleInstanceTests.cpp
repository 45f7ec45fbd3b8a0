// One instance per user: later starts (in a thread, as another process would) hand their paths to
// the running one; a crashed instance's socket does not block the next start, a hung one's does.

#include "platform/ui/SingleInstance.h"
#include "tests/platform/ui/UiTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using platform::SingleInstance;
using ::testing::ElementsAre;

// The running instance's loop turns until `done` (60 s at most).
template <typename Done> bool turnLoopUntil(Done done) {
    QElapsedTimer waited;
    waited.start();
    while (!done() && waited.elapsed() < 60'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

SingleInstance::Role startElsewhere(const SingleInstance::Address& address, std::vector<std::string> paths) {
    auto later = std::async(std::launch::async, [=] { return SingleInstance(address).start(paths); });
    turnLoopUntil([&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; });
    return later.get();
}

TEST(SingleInstance, LaterStartsHandTheirPathsOverByteForByte) {
    platform_ui_test::TemporaryFolder folder;
    const SingleInstance::Address address{folder.path + "/app.socket", folder.path + "/app.lock"};
    // What a crashed instance leaves: a socket file nobody listens on.
    sockaddr_un name{AF_UNIX, {}};
    address.socketPath.copy(name.sun_path, sizeof name.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&name), sizeof name), 0);
    ::close(fd);

    SingleInstance running(address);
    ASSERT_EQ(running.start({"/ignored"}), SingleInstance::Role::running);
    // Handed over before anyone listens for them: kept for the receiver.
    const std::string latin1 = "/music/caf\xE9.wav";
    ASSERT_EQ(startElsewhere(address, {latin1, "/music/b c.flac"}), SingleInstance::Role::handedOver);
    std::vector<std::vector<std::string>> received;
    running.setReceiver([&](std::vector<std::string> paths) { received.push_back(std::move(paths)); });
    ASSERT_THAT(received, ElementsAre(ElementsAre(latin1, "/music/b c.flac")));

    // A stranger's endless bytes are dropped and the instance goes on serving.
    QLocalSocket stranger;
    stranger.connectToServer(QString::fromStdString(address.socketPath));
    ASSERT_TRUE(stranger.waitForConnected(10'000));
    stranger.write(QByteArray(9 * 1024 * 1024, 'x'));
    EXPECT_TRUE(turnLoopUntil([&] { return stranger.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(startElsewhere(address, {}), SingleInstance::Role::handedOver);
    EXPECT_THAT(received, ElementsAre(::testing::SizeIs(2), ::testing::IsEmpty()));

    // An instance that accepts nothing (its loop is stuck) is not replaced: the start gives up.
    QLocalServer hung;
    const SingleInstance::Address hungAddress{folder.path + "/hung.socket", folder.path + "/hung.lock"};
    ASSERT_TRUE(hung.listen(QString::fromStdString(hungAddress.socketPath)));
    EXPECT_EQ(SingleInstance(hungAddress).start({"/b.ogg"}, 300), SingleInstance::Role::noAnswer);
}

} // namespace
