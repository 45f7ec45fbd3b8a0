#include "platform/ui/Badge.h"
#include "platform/ui/Workspace.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/UiFakes.h"

#include <QGuiApplication>
#include <QLabel>
#include <QStandardPaths>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

using namespace platform;
using namespace testsupport;

TEST(QtLabelBadge, ShowsTheTextAndHidesWhileThereIsNone) {
    auto label = std::make_unique<QLabel>();
    label->show();
    QtLabelBadge badge(label.get());
    EXPECT_FALSE(label->isVisible());
    badge.setLabel("►");
    EXPECT_TRUE(label->isVisible());
    EXPECT_EQ(label->text(), QStringLiteral("►"));
    badge.setLabel("");
    EXPECT_FALSE(label->isVisible());
    // The window may drop its label before the badge.
    label.reset();
    badge.setLabel("►");
}

TEST(DockTile, KeepsTheBadgeForTheDisplayPluggedInLater) {
    DockTile tile;
    tile.setBadgeLabel("►");
    FakeBadge display;
    tile.setBadge(&display);
    tile.setBadgeLabel("");
    tile.setBadge(nullptr);
    tile.setBadgeLabel("►");
    EXPECT_EQ(display.labels(), (std::vector<std::string>{"►", ""}));
    EXPECT_EQ(tile.badgeLabel(), "►");
}

// A workspace whose ways out are recorded instead of taken.
class RecordingWorkspace : public ::testing::Test {
protected:
    std::vector<QString> opened, shown;
    bool fileManagerAnswers = true;
    QtWorkspace workspace{QtWorkspace::Handlers{[this](const QUrl& url) {
                                                    opened.push_back(url.toString());
                                                    return true;
                                                },
                                                [this](const QUrl& url) {
                                                    shown.push_back(url.toString());
                                                    return fileManagerAnswers;
                                                }}};
};

TEST_F(RecordingWorkspace, OpensFilesAndAbsoluteUrlsWithTheDefaultApplication) {
    EXPECT_TRUE(workspace.openFile(Url::fileURLWithPath("/home/me/Help Files/Remote_Manual.pdf")));
    EXPECT_TRUE(workspace.openUrl("https://example.com/apps/stepguide?id=1"));
    EXPECT_FALSE(workspace.openUrl("not a url"));
    EXPECT_FALSE(workspace.openUrl("relative/path.html"));
    EXPECT_FALSE(workspace.openFile(Url()));
    EXPECT_EQ(opened, (std::vector<QString>{"file:///home/me/Help Files/Remote_Manual.pdf",
                                            "https://example.com/apps/stepguide?id=1"}));
}

TEST_F(RecordingWorkspace, SelectingAFileAsksTheFileManagerAndElseOpensItsFolder) {
    EXPECT_TRUE(workspace.selectFile("/music/Band/song.mp3", "/music/Band/"));
    EXPECT_EQ(shown, std::vector<QString>{"file:///music/Band/song.mp3"});
    EXPECT_TRUE(opened.empty());

    fileManagerAnswers = false;
    EXPECT_TRUE(workspace.selectFile("/music/Band/song.mp3", "/music/Band/"));
    EXPECT_TRUE(workspace.selectFile("/music/Other/tune.mp3", ""));
    // Without a file, a window on the root folder; with neither, nothing.
    EXPECT_TRUE(workspace.selectFile("", "/music"));
    EXPECT_FALSE(workspace.selectFile("", ""));
    EXPECT_EQ(shown.size(), 3u);
    EXPECT_EQ(opened, (std::vector<QString>{"file:///music/Band/", "file:///music/Other", "file:///music"}));
}

TEST(QtWorkspace, AFailedOpenIsReported) {
    // The offscreen platform has no desktop services, so nothing can be opened.
    if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
        GTEST_SKIP() << "needs the offscreen platform";
    EXPECT_FALSE(QtWorkspace().openFile(Url::fileURLWithPath("/nonexistent/file.pdf")));
}

TEST(QtWorkspace, AFileWhoseTypeHasNoDefaultApplicationIsNotHandedOn) {
    if (QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        GTEST_SKIP() << "needs xdg-mime (xdg-utils)";
    testsupport::TemporaryFolder home;
    std::filesystem::create_directories(home.path + "/config");
    std::filesystem::create_directories(home.path + "/data/applications");
    testsupport::ScopedEnvironment environment;
    environment.set("XDG_CONFIG_HOME", home.path + "/config");
    environment.set("XDG_DATA_HOME", home.path + "/data");
    environment.set("XDG_CONFIG_DIRS", home.path + "/none");
    // The system's MIME types, but none of its applications.
    std::filesystem::create_directories(home.path + "/system");
    std::filesystem::create_directory_symlink("/usr/share/mime", home.path + "/system/mime");
    environment.set("XDG_DATA_DIRS", home.path + "/system");
    environment.set("XDG_CURRENT_DESKTOP", std::nullopt);
    environment.set("KDE_FULL_SESSION", std::nullopt);
    environment.set("GNOME_DESKTOP_SESSION_ID", std::nullopt);
    const std::string score = home.path + "/score.pdf";
    EXPECT_EQ(QtWorkspace::defaultApplicationFor(score), std::optional<std::string>(""));
    EXPECT_FALSE(QtWorkspace().openFile(Url::fileURLWithPath(score)));

    std::ofstream(home.path + "/data/applications/vantle-viewer.desktop")
        << "[Desktop Entry]\nType=Application\nName=Viewer\nExec=true %f\nMimeType=application/pdf;\n";
    std::ofstream(home.path + "/config/mimeapps.list")
        << "[Default Applications]\napplication/pdf=vantle-viewer.desktop\n";
    EXPECT_EQ(QtWorkspace::defaultApplicationFor(score), std::optional<std::string>("vantle-viewer.desktop"));

    // A terminal program where there is no terminal opens nothing either.
    if (QStandardPaths::findExecutable(QStringLiteral("gio")).isEmpty()) return;
    std::ofstream(home.path + "/data/applications/vantle-viewer.desktop")
        << "[Desktop Entry]\nType=Application\nName=Viewer\nExec=true %f\nTerminal=true\n"
           "MimeType=application/pdf;\n";
    environment.set("PATH", "/usr/bin:/bin");
    environment.set("TERMINAL", std::nullopt);
    if (!QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator")).isEmpty() ||
        !QStandardPaths::findExecutable(QStringLiteral("xterm")).isEmpty())
        return;
    std::ofstream(score) << "%PDF-1.4";
    EXPECT_FALSE(QtWorkspace().openFile(Url::fileURLWithPath(score)));
}
