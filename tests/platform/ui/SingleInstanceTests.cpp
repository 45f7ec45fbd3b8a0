// One instance per user: later starts (in a thread, as another process would) hand their paths to
// the running one; a crashed instance's socket does not block the next start, a hung one's does.

#include "platform/ui/SingleInstance.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/Environment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <vector>

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

// Only a start on the same display with the same state and settings folders reaches the running
// window; one that shows nothing to a user never takes part.
TEST(SingleInstance, OneInstancePerFoldersAndDisplay) {
    platform_ui_test::TemporaryFolder runtime;
    const testsupport::ScopedEnvironment runtimeDir("XDG_RUNTIME_DIR", runtime.path);
    const std::string home = runtime.path + "/home", other = runtime.path + "/other";
    QDir().mkpath(QString::fromStdString(home + "/state"));
    QDir().mkpath(QString::fromStdString(other + "/state"));
    ASSERT_EQ(::symlink(home.c_str(), (runtime.path + "/linked").c_str()), 0);
    const std::vector<std::string> folders{home + "/state", home + "/config"};
    const SingleInstance::Address address = SingleInstance::forUser("app", folders, "xcb :68");
    EXPECT_EQ(address.socketPath.rfind(runtime.path + "/app-" + std::to_string(::getuid()) + "-", 0), 0u)
        << address.socketPath;
    EXPECT_NE(address.socketPath, address.lockPath);

    struct Case {
        const char* what;
        std::vector<std::string> folders;
        const char* display;
        bool same;
    };
    const std::vector<Case> cases = {
        {"the same start", folders, "xcb :68", true},
        {"the folders through a link", {runtime.path + "/linked/state", home + "/config"}, "xcb :68", true},
        {"another state folder", {other + "/state", home + "/config"}, "xcb :68", false},
        {"another settings folder", {home + "/state", other + "/config"}, "xcb :68", false},
        {"another display", folders, "xcb :69", false},
        {"another kind of display", folders, "wayland :68", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SingleInstance::Address later = SingleInstance::forUser("app", c.folders, c.display);
        EXPECT_EQ(later.socketPath == address.socketPath, c.same);
        EXPECT_EQ(later.lockPath == address.lockPath, c.same);
    }

    // Handed over only where the addresses agree; elsewhere the start runs as an instance of its
    // own.
    SingleInstance running(address);
    ASSERT_EQ(running.start({}), SingleInstance::Role::running);
    std::vector<std::vector<std::string>> received;
    running.setReceiver([&](std::vector<std::string> paths) { received.push_back(std::move(paths)); });
    const SingleInstance::Address elsewhere = SingleInstance::forUser("app", folders, "xcb :69");
    auto second = std::async(std::launch::async, [&] {
        SingleInstance instance(elsewhere);
        return instance.start({"/a.vantle"});
    });
    EXPECT_EQ(second.get(), SingleInstance::Role::running);
    EXPECT_EQ(startElsewhere(SingleInstance::forUser("app", folders, "xcb :68"), {"/b.vantle"}),
              SingleInstance::Role::handedOver);
    EXPECT_THAT(received, ElementsAre(ElementsAre("/b.vantle")));

    // Which display a start shows its windows on.
    struct Display {
        const char* platform;
        std::optional<std::string> x11, wayland;
        std::optional<std::string> display;
    };
    const std::vector<Display> displays = {
        {"offscreen", ":68", "wayland-1", std::nullopt},
        {"minimal", ":68", "wayland-1", std::nullopt},
        {"minimalegl", ":68", std::nullopt, std::nullopt},
        {"xcb", ":68", "wayland-1", "xcb :68"},
        {"xcb", std::nullopt, "wayland-1", std::nullopt},
        {"wayland", ":68", "wayland-1", "wayland wayland-1"},
        {"wayland-egl", std::nullopt, std::nullopt, "wayland wayland-0"},
        {"linuxfb", std::nullopt, std::nullopt, "linuxfb"},
    };
    for (const Display& d : displays) {
        SCOPED_TRACE(d.platform);
        testsupport::ScopedEnvironment environment("DISPLAY", d.x11);
        environment.set("WAYLAND_DISPLAY", d.wayland);
        EXPECT_EQ(SingleInstance::displayOf(d.platform), d.display);
    }
}

} // namespace

TEST(SingleInstance, PathsMoreThanTheRunningInstanceTakesAreNotHandedOverAndSaySo) {
    platform_ui_test::TemporaryFolder folder;
    const SingleInstance::Address address{folder.path + "/app.socket", folder.path + "/app.lock"};
    SingleInstance running(address);
    ASSERT_EQ(running.start({}), SingleInstance::Role::running);
    std::vector<std::vector<std::string>> received;
    running.setReceiver([&](std::vector<std::string> paths) { received.push_back(std::move(paths)); });

    // `vantle *.wav` in a deep folder of 100,000 files: each path made absolute.
    const std::string deep = "/home/someone/Music/Dance classes/Spring term/Recordings of the Tuesday group/";
    std::vector<std::string> many;
    for (int i = 0; i < 100'000; ++i)
        many.push_back(deep + "take " + std::to_string(100'000 + i) + ".wav");
    EXPECT_EQ(startElsewhere(address, many), SingleInstance::Role::tooMany);
    EXPECT_TRUE(received.empty());
    // The instance goes on taking what fits, up to the limit.
    many.resize(SingleInstance::handoverLimitBytes / (many.front().size() + 1) - 1);
    EXPECT_EQ(startElsewhere(address, many), SingleInstance::Role::handedOver);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], many);
}
