#include "platform/ui/Badge.h"
#include "platform/ui/Fakes.h"
#include "platform/ui/Workspace.h"

#include <QGuiApplication>
#include <QLabel>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace platform;

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
    EXPECT_EQ(tile.badgeLabel(), "►");

    FakeBadge display;
    tile.setBadge(&display);
    EXPECT_EQ(display.label(), "►");
    tile.setBadgeLabel("");
    EXPECT_EQ(display.labels(), (std::vector<std::string>{"►", ""}));

    tile.setBadge(nullptr);
    tile.setBadgeLabel("►");
    EXPECT_EQ(display.labels().size(), 2u);
    EXPECT_EQ(tile.badgeLabel(), "►");

    EXPECT_EQ(&dockTile(), &dockTile());
}

namespace {

// A workspace whose ways out are recorded instead of taken.
struct RecordingWorkspace {
    std::vector<QUrl> opened;
    std::vector<QUrl> shown;
    bool fileManagerAnswers = true;
    QtWorkspace workspace{QtWorkspace::Handlers{[this](const QUrl& url) {
                                                    opened.push_back(url);
                                                    return true;
                                                },
                                                [this](const QUrl& url) {
                                                    shown.push_back(url);
                                                    return fileManagerAnswers;
                                                }}};
};

} // namespace

TEST(QtWorkspace, OpensFilesAndAbsoluteUrlsWithTheDefaultApplication) {
    RecordingWorkspace recording;
    QtWorkspace& workspace = recording.workspace;

    EXPECT_TRUE(workspace.openFile(Url::fileURLWithPath("/home/me/Help Files/Remote_Manual.pdf")));
    EXPECT_TRUE(workspace.openUrl("https://example.com/apps/stepguide?id=1"));
    EXPECT_FALSE(workspace.openUrl("not a url"));
    EXPECT_FALSE(workspace.openUrl("relative/path.html"));
    EXPECT_FALSE(workspace.openFile(Url()));

    ASSERT_EQ(recording.opened.size(), 2u);
    EXPECT_EQ(recording.opened[0].toLocalFile(), QStringLiteral("/home/me/Help Files/Remote_Manual.pdf"));
    EXPECT_EQ(recording.opened[1].toString(), QStringLiteral("https://example.com/apps/stepguide?id=1"));
}

TEST(QtWorkspace, SelectingAFileAsksTheFileManagerAndElseOpensItsFolder) {
    RecordingWorkspace recording;
    QtWorkspace& workspace = recording.workspace;

    EXPECT_TRUE(workspace.selectFile("/music/Band/song.mp3", "/music/Band/"));
    ASSERT_EQ(recording.shown.size(), 1u);
    EXPECT_EQ(recording.shown[0].toLocalFile(), QStringLiteral("/music/Band/song.mp3"));
    EXPECT_TRUE(recording.opened.empty());

    recording.fileManagerAnswers = false;
    EXPECT_TRUE(workspace.selectFile("/music/Band/song.mp3", "/music/Band/"));
    EXPECT_TRUE(workspace.selectFile("/music/Other/tune.mp3", ""));
    ASSERT_EQ(recording.opened.size(), 2u);
    EXPECT_EQ(recording.opened[0].toLocalFile(), QStringLiteral("/music/Band/"));
    EXPECT_EQ(recording.opened[1].toLocalFile(), QStringLiteral("/music/Other"));

    // Without a file, a window on the root folder; with neither, nothing.
    EXPECT_TRUE(workspace.selectFile("", "/music"));
    EXPECT_EQ(recording.shown.size(), 3u);
    EXPECT_EQ(recording.opened.back().toLocalFile(), QStringLiteral("/music"));
    EXPECT_FALSE(workspace.selectFile("", ""));
}

TEST(QtWorkspace, AFailedOpenIsReported) {
    // The offscreen platform has no desktop services, so nothing can be opened.
    if (QGuiApplication::platformName() != QStringLiteral("offscreen"))
        GTEST_SKIP() << "needs the offscreen platform";
    QtWorkspace workspace;
    EXPECT_FALSE(workspace.openFile(Url::fileURLWithPath("/nonexistent/file.pdf")));
}

TEST(FakeWorkspace, RecordsEveryRequestAndGivesTheChosenAnswer) {
    FakeWorkspace workspace;
    EXPECT_TRUE(workspace.openFile(Url::fileURLWithPath("/a.pdf")));
    workspace.succeeds = false;
    EXPECT_FALSE(workspace.openUrl("https://example.com"));
    EXPECT_FALSE(workspace.selectFile("/m/a.mp3", "/m/"));
    EXPECT_EQ(workspace.openedFiles(), std::vector<Url>{Url::fileURLWithPath("/a.pdf")});
    EXPECT_EQ(workspace.openedUrls(), std::vector<std::string>{"https://example.com"});
    EXPECT_EQ(workspace.selections(), (std::vector<FakeWorkspace::Selection>{{"/m/a.mp3", "/m/"}}));
}
