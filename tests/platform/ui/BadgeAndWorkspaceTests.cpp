#include "platform/ui/Badge.h"
#include "tests/support/UiFakes.h"
#include "platform/ui/Workspace.h"

#include <QGuiApplication>
#include <QLabel>
#include <QUrl>

#include <gtest/gtest.h>

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
