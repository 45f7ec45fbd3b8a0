#include "Source/session/Exporter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/Environment.h"

#include <gtest/gtest.h>

using namespace vantle;
using namespace vantle::testing;

namespace {

struct ExportFixture {
    ExportFixture() {
        queue.bindToCurrentThread();
        queue.drain();
        a = writeSilentWav(media.url("x.mp3"), 1);
        b = writeSilentWav(media.url("y.m4a"), 1);
        c = writeSilentWav(media.url("z.wav"), 1);
        Playlist& playlist = *app.window.document;
        for (const auto& url : {a, b, c})
            playlist.insertEntry(url);
        playlist.allEntries[0]->isCheckmarked = true;
        playlist.allEntries[1]->isCheckmarked = true;
        app.window.session = platform::Url::fileURLWithPath(media.path + "/Dance Night.vantle");
    }
    // A whole run of an exporter made for it, into `folder`.
    void exportTo(std::optional<std::string> folder) {
        Exporter exporter(std::move(folder), queue);
        exporter.exportPlaylist(app.window.document);
        queue.drain();
    }

    ScopedFakeApp app;
    SessionTempFolder media;
    SessionTempFolder cloud;
    // Work posted here waits until the test drains it, so a test decides when the background run happens.
    platform::MainQueue& queue = platform::mainQueue();
    platform::Url a, b, c;
};

} // namespace

TEST(Exporter, CopiesTheCheckedFilesIntoAFolderNamedAfterTheSession) {
    ExportFixture f;
    Exporter exporter(f.cloud.path, f.queue);
    testsupport::ScopedConsoleCapture console;
    exporter.exportPlaylist(f.app.window.document);
    EXPECT_TRUE(exporter.running());
    EXPECT_EQ(console.lines(), std::vector<std::string>{"Dance Night"});

    // Edits made while the copies wait do not change what this run copies.
    f.app.window.document->allEntries[1]->isCheckmarked = false;
    f.app.window.document->allEntries[2]->isCheckmarked = true;
    f.queue.drain();
    EXPECT_FALSE(exporter.running());
    platform::Url folder = platform::Url::fileURLWithPath(f.cloud.path + "/Dance Night", true);
    platform::Url x = folder.appendingPathComponent("x.mp3", false);
    platform::Url y = folder.appendingPathComponent("y.m4a", false);
    EXPECT_EQ(console.lines(), (std::vector<std::string>{"Dance Night", "copied to " + x.absoluteString(),
                                                         "copied to " + y.absoluteString()}));
    EXPECT_EQ(platform::readFile(x.path()).value(), platform::readFile(f.a.path()).value());
    EXPECT_FALSE(platform::fileExists(f.cloud.path + "/Dance Night/z.wav"));
    EXPECT_FALSE(platform::fileExists(f.cloud.path + "/Dance Night/Dance Night.vantle"));

    // A second export of the same session copies nothing over the first.
    f.app.window.document->allEntries[1]->isCheckmarked = true;
    f.app.window.document->allEntries[2]->isCheckmarked = false;
    console.clear();
    exporter.exportPlaylist(f.app.window.document);
    f.queue.drain();
    EXPECT_EQ(console.lines(),
              (std::vector<std::string>{"Dance Night", "didn't copy to " + x.absoluteString(),
                                        "didn't copy to " + y.absoluteString()}));
}

TEST(Exporter, RefusesASecondRunAndNeedsASession) {
    ExportFixture f;
    Exporter exporter(f.cloud.path, f.queue);
    testsupport::ScopedConsoleCapture console;
    exporter.exportPlaylist(f.app.window.document);
    exporter.exportPlaylist(f.app.window.document);
    EXPECT_EQ(console.lines(),
              (std::vector<std::string>{"Dance Night", "export refused: an export is still running"}));
    EXPECT_EQ(f.queue.pendingCount(), 1u);
    f.queue.drain();
    EXPECT_EQ(console.lines().size(), 4u);

    // Without a session location nothing is printed and nothing runs.
    console.clear();
    f.app.window.session.reset();
    exporter.exportPlaylist(f.app.window.document);
    AppServices::setMainWindow(nullptr);
    exporter.exportPlaylist(f.app.window.document);
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(f.queue.pendingCount(), 0u);
}

TEST(Exporter, FolderNamesAndFailures) {
    ExportFixture f;
    for (auto& entry : f.app.window.document->allEntries)
        entry->isCheckmarked = false;
    f.app.window.session = platform::Url::fileURLWithPath("/anywhere/set.plist");
    testsupport::ScopedConsoleCapture console;
    f.exportTo(f.cloud.path);
    EXPECT_EQ(console.lines(), std::vector<std::string>{"set.plist"});
    EXPECT_TRUE(platform::isDirectory(f.cloud.path + "/set.plist"));

    // A folder that cannot be made: one line, then each copy fails on its own.
    console.clear();
    f.app.window.document->allEntries[0]->isCheckmarked = true;
    ASSERT_TRUE(platform::writeFileAtomically(f.cloud.path + "/file", std::string_view("x")));
    f.exportTo(f.cloud.path + "/file");
    ASSERT_EQ(console.lines().size(), 3u);
    EXPECT_EQ(console.lines()[1], "failed to create directory set.plist");
    EXPECT_EQ(console.lines()[2].rfind("didn't copy to file://", 0), 0u);

    // No export folder: the run copies nothing and prints nothing more.
    console.clear();
    {
        Exporter exporter(std::nullopt, f.queue);
        exporter.exportPlaylist(f.app.window.document);
        f.queue.drain();
        EXPECT_FALSE(exporter.driveURL());
        EXPECT_FALSE(exporter.running());
    }
    EXPECT_EQ(console.lines(), std::vector<std::string>{"set.plist"});

    // An exporter that is gone by the time its run starts leaves the run with nothing to do.
    console.clear();
    {
        Exporter exporter(f.cloud.path, f.queue);
        exporter.exportPlaylist(f.app.window.document);
    }
    f.queue.drain();
    EXPECT_EQ(console.lines(), std::vector<std::string>{"set.plist"});
}

TEST(Exporter, DefaultFolderIsTheUsersDocuments) {
    SessionTempFolder home;
    testsupport::ScopedEnvironment environment("HOME", home.path);
    environment.set("XDG_DOCUMENTS_DIR", std::nullopt);
    environment.set("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(Exporter::defaultExportFolder(), home.path + "/Documents");
    ASSERT_TRUE(platform::createDirectory(home.path + "/.config"));
    ASSERT_TRUE(platform::writeFileAtomically(home.path + "/.config/user-dirs.dirs",
                                              std::string_view("# written by xdg-user-dirs-update\n"
                                                               "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                                               "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n")));
    EXPECT_EQ(Exporter::defaultExportFolder(), home.path + "/Dokumente");
    environment.set("XDG_DOCUMENTS_DIR", "/srv/docs");
    EXPECT_EQ(Exporter::defaultExportFolder(), "/srv/docs");
}
