#include "Source/session/Exporter.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/Environment.h"
#include "tests/support/SmallFilesystem.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <set>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

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
    // A whole run of an exporter made for it, into `folder`; what it reported when it ended.
    std::optional<ExportOutcome> exportTo(std::optional<std::string> folder) {
        Exporter exporter(std::move(folder), queue);
        std::optional<ExportOutcome> outcome;
        exporter.setFinishedHandler([&](const ExportOutcome& ended) { outcome = ended; });
        exporter.exportPlaylist(app.window.document);
        queue.drain();
        return outcome;
    }
    // Checks only the entries of these files, added to the playlist as needed.
    void checkOnly(const std::vector<platform::Url>& files) {
        Playlist& playlist = *app.window.document;
        for (const platform::Url& file : files)
            if (std::none_of(playlist.allEntries.begin(), playlist.allEntries.end(),
                             [&](const auto& entry) { return entry->_url == file; }))
                playlist.insertEntry(file);
        for (const auto& entry : playlist.allEntries)
            entry->isCheckmarked = std::find(files.begin(), files.end(), entry->_url) != files.end();
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
              (std::vector<std::string>{"Dance Night", "already copied to " + x.absoluteString(),
                                        "already copied to " + y.absoluteString()}));
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

namespace {

// What a user's kill does, at the moment the kernel stops a copy for its size limit.
void exporterKillOnSizeLimit(int) {
    ::kill(::getpid(), SIGKILL);
}

} // namespace

// A run killed while it copies leaves no partial file under the song's name; the next export to the
// folder removes what the killed one left and copies the song whole.
TEST(Exporter, AKilledRunLeavesNoPartialFileAndTheNextRunCopiesItWhole) {
    ExportFixture f;
    const platform::Url big = writeSilentWav(f.media.url("big.wav"), 2048); // 4 MB
    ASSERT_FALSE(big.path().empty());
    f.checkOnly({big});
    const std::string folder = f.cloud.path + "/Dance Night";
    // The child's copy is stopped once it holds 1 MB: the kernel's file-size limit raises SIGXFSZ,
    // whose handler kills the child as a user would.
    auto killedRun = [&] {
        const rlimit noCore{0, 0}, oneMegabyte{1 << 20, 1 << 20};
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &oneMegabyte);
        std::signal(SIGXFSZ, exporterKillOnSizeLimit);
        f.exportTo(f.cloud.path);
        std::_Exit(0);
    };
    EXPECT_EXIT(killedRun(), ::testing::KilledBySignal(SIGKILL), "");
    const std::set<std::string> left = testsupport::entryNames(folder);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.begin()->rfind(".big.wav" + std::string(platform::temporaryMark), 0), 0u) << *left.begin();

    testsupport::ScopedConsoleCapture console;
    const std::optional<ExportOutcome> outcome = f.exportTo(f.cloud.path);
    EXPECT_EQ(testsupport::entryNames(folder), std::set<std::string>{"big.wav"});
    EXPECT_EQ(platform::readFile(folder + "/big.wav").value(), platform::readFile(big.path()).value());
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->copied, 1u);
    EXPECT_TRUE(outcome->notCopied.empty());
}

// On a full disk each file that does not fit is left out whole, and the run says which and why.
TEST(Exporter, AFullDiskLeavesOutWholeFilesAndSaysWhich) {
    testsupport::SmallFilesystem disk(10);
    if (!disk.mounted())
        GTEST_SKIP() << "this machine does not let the test mount a 10 MB tmpfs (needs root)";
    ExportFixture f;
    const platform::Url big = writeSilentWav(f.media.url("big.wav"), 8192); // 16 MB
    ASSERT_FALSE(big.path().empty());
    f.checkOnly({f.a, big, f.b});
    testsupport::ScopedConsoleCapture console;
    const std::optional<ExportOutcome> outcome = f.exportTo(disk.path());
    EXPECT_EQ(testsupport::entryNames(disk.path() + "/Dance Night"),
              (std::set<std::string>{"x.mp3", "y.m4a"}));
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->fileCount, 3u);
    EXPECT_EQ(outcome->copied, 2u);
    ASSERT_EQ(outcome->notCopied.size(), 1u);
    EXPECT_EQ(outcome->notCopied[0].name, "big.wav");
    EXPECT_EQ(outcome->notCopied[0].reason, "the disk is full");
    const std::string folder =
        platform::Url::fileURLWithPath(disk.path() + "/Dance Night", true).absoluteString();
    EXPECT_TRUE(testsupport::consoleHas(console, "didn't copy to " + folder + "big.wav: the disk is full"))
        << ::testing::PrintToString(console.lines());
}

// A file already in the folder is never replaced: the same bytes count as done, other bytes as not
// copied, with the reason.
TEST(Exporter, FilesAlreadyThereAreDoneWhenTheSameAndNamedWhenNot) {
    ExportFixture f;
    f.checkOnly({f.a, f.b, f.c});
    const std::string folder = f.cloud.path + "/Dance Night";
    ASSERT_TRUE(platform::createDirectory(folder));
    ASSERT_TRUE(platform::copyItem(f.a.path(), folder + "/x.mp3"));
    ASSERT_TRUE(platform::writeFileAtomically(folder + "/y.m4a", std::string_view("someone else's")));
    // Same size, other bytes.
    platform::Bytes altered = platform::readFile(f.c.path()).value();
    altered.back() ^= 1;
    ASSERT_TRUE(platform::writeFileAtomically(folder + "/z.wav", altered));
    const std::optional<ExportOutcome> outcome = f.exportTo(f.cloud.path);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->copied, 0u);
    EXPECT_EQ(outcome->alreadyThere, 1u);
    ASSERT_EQ(outcome->notCopied.size(), 2u);
    for (const auto& notCopied : outcome->notCopied)
        EXPECT_EQ(notCopied.reason, "a different file of that name is already there") << notCopied.name;
    EXPECT_EQ(platform::readFile(folder + "/z.wav").value(), altered);

    // An exporter gone before its run's report arrives hears nothing of it.
    bool heard = false;
    {
        Exporter exporter(f.cloud.path, f.queue);
        exporter.setFinishedHandler([&](const ExportOutcome&) { heard = true; });
        exporter.exportPlaylist(f.app.window.document);
        f.queue.drain(1); // the run, whose report then waits
        ASSERT_EQ(f.queue.pendingCount(), 1u);
    }
    f.queue.drain();
    EXPECT_FALSE(heard);
}

TEST(Exporter, TheMessageSaysWhatWasCopiedAndWhatWasNot) {
    const platform::Url folder = platform::Url::fileURLWithPath("/home/u/Documents/Class", true);
    auto outcome = [&](std::size_t count, std::size_t copied, std::size_t already, std::size_t failed) {
        ExportOutcome made;
        made.folderName = "Class";
        made.folder = folder;
        made.fileCount = count;
        made.copied = copied;
        made.alreadyThere = already;
        for (std::size_t i = 0; i < failed; ++i)
            made.notCopied.push_back({"song " + std::to_string(i) + ".wav", "the disk is full"});
        return made;
    };
    struct Case {
        ExportOutcome outcome;
        const char* title;
        std::vector<const char*> details;
        bool complete;
    };
    const std::vector<Case> cases = {
        {outcome(3, 3, 0, 0),
         "All 3 files were exported",
         {"Folder: /home/u/Documents/Class", "Copied: 3 files"},
         true},
        {outcome(1, 0, 1, 0),
         "The file was already in the folder",
         {"Already there, left as they were: 1 file"},
         true},
        {outcome(3, 1, 1, 1),
         "2 of 3 files are in the folder: 1 copied, 1 already there",
         {"Copied: 1 file", "Already there", "Not copied:\n• song 0.wav: the disk is full"},
         false},
        {outcome(3, 2, 1, 0),
         "All 3 files are in the folder: 2 copied, 1 already there",
         {"Copied: 2 files"},
         true},
        {outcome(3, 0, 2, 1),
         "2 of 3 files were already in the folder",
         {"left as they were: 2 files"},
         false},
        {outcome(3, 1, 0, 2), "1 of 3 files were exported", {"Copied: 1 file"}, false},
        {outcome(2, 0, 0, 2), "No file was exported", {"• song 1.wav: the disk is full"}, false},
        {outcome(10, 0, 0, 10), "No file was exported", {"• song 7.wav", "… and 2 more"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        const ExportMessage message = exportMessage(c.outcome);
        EXPECT_EQ(message.title, c.title);
        EXPECT_EQ(message.complete, c.complete);
        for (const char* part : c.details)
            EXPECT_NE(message.details.find(part), std::string::npos) << part << " in " << message.details;
    }
    EXPECT_EQ(exportMessage(outcome(10, 0, 0, 10)).details.find("song 8.wav"), std::string::npos);
    // A name with a line break keeps to its own line of the list.
    ExportOutcome oddName = outcome(1, 0, 0, 0);
    oddName.notCopied.push_back({"a\nb\t.wav", "the disk is full"});
    EXPECT_EQ(exportMessage(oddName).details,
              "Folder: /home/u/Documents/Class\nNot copied:\n• a\\nb\\t.wav: the disk is full");
    ExportOutcome nowhere = outcome(2, 0, 0, 0);
    nowhere.folder.reset();
    EXPECT_EQ(exportMessage(nowhere).title, "The session was not exported");
    EXPECT_FALSE(exportMessage(nowhere).complete);
}

// Only songs are copied: a file of the system's (the program's own environment, its memory map, a
// device's setting), even behind a link, and a file that does not open as audio stay where they are,
// each named with its reason.
TEST(Exporter, CopiesOnlySongsAndSaysWhyForEachOtherFile) {
    ExportFixture f;
    const platform::Url link = f.media.url("environ.wav");
    ASSERT_EQ(::symlink("/proc/self/environ", link.path().c_str()), 0);
    const platform::Url text = f.media.url("notes.mp3");
    ASSERT_TRUE(
        platform::writeFileAtomically(text.path(), std::string_view("a list of songs, not a song\n")));
    struct Refused {
        std::string path;
        const char* reason;
    };
    const char* system = "it is a system file, not audio";
    std::vector<Refused> refused = {{"/proc/self/environ", system},
                                    {"/proc/self/maps", system},
                                    {link.path(), system},
                                    {text.path(), "it does not open as audio"}};
    if (platform::fileExists("/sys/kernel/uevent_seqnum"))
        refused.push_back({"/sys/kernel/uevent_seqnum", system});
    // A song on the RAM disk mounted in /dev is a song like any other.
    struct RemovedAtEnd {
        std::string path;
        ~RemovedAtEnd() {
            if (!path.empty()) (void)platform::removeTemporaryDirectory(path);
        }
    } inDev;
    std::set<std::string> copied{"x.mp3"};
    std::vector<platform::Url> checked{f.a};
    if (platform::isDirectory("/dev/shm") && ::access("/dev/shm", W_OK) == 0)
        if (platform::Result<std::string> made = platform::makeTemporaryDirectory("export", "/dev/shm")) {
            inDev.path = *made;
            if (platform::copyItem(f.a.path(), *made + "/shm song.wav")) {
                copied.insert("shm song.wav");
                checked.push_back(platform::Url::fileURLWithPath(*made + "/shm song.wav"));
            }
        }
    // Entries as a session document may name them: adding files would have refused most of these.
    for (const Refused& file : refused) {
        std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(f.c);
        ASSERT_TRUE(entry);
        entry->_url = platform::Url::fileURLWithPath(file.path);
        f.app.window.document->allEntries.push_back(entry);
        checked.push_back(entry->_url);
    }
    f.checkOnly(checked);

    testsupport::ScopedConsoleCapture console;
    const std::optional<ExportOutcome> outcome = f.exportTo(f.cloud.path);
    const std::string folder = f.cloud.path + "/Dance Night";
    EXPECT_EQ(testsupport::entryNames(folder), copied);
    ASSERT_TRUE(outcome);
    EXPECT_EQ(outcome->copied, copied.size());
    ASSERT_EQ(outcome->notCopied.size(), refused.size()) << ::testing::PrintToString(console.lines());
    const platform::Url folderURL = platform::Url::fileURLWithPath(folder, true);
    for (std::size_t i = 0; i < refused.size(); ++i) {
        const std::string name = platform::Url::fileURLWithPath(refused[i].path).lastPathComponent();
        EXPECT_EQ(outcome->notCopied[i].name, name);
        EXPECT_EQ(outcome->notCopied[i].reason, refused[i].reason) << refused[i].path;
        const std::string destination = folderURL.appendingPathComponent(name, false).absoluteString();
        EXPECT_TRUE(
            testsupport::consoleHas(console, "didn't copy to " + destination + ": " + refused[i].reason))
            << ::testing::PrintToString(console.lines());
    }
}

// A checked file that is gone is said to be missing, even with an earlier copy in the folder; the
// headline tells the files copied now from those found there.
TEST(Exporter, AMissingFileIsSaidToBeMissingAndFilesThereAlreadyAreCountedApart) {
    ExportFixture f;
    f.checkOnly({f.a, f.b, f.c});
    const std::string folder = f.cloud.path + "/Dance Night";
    ASSERT_TRUE(platform::createDirectory(folder));
    ASSERT_TRUE(platform::copyItem(f.a.path(), folder + "/x.mp3"));
    ASSERT_TRUE(platform::copyItem(f.b.path(), folder + "/y.m4a"));
    const platform::Bytes earlier = platform::readFile(folder + "/x.mp3").value();
    ASSERT_TRUE(platform::removeItem(f.a.path()));

    const std::optional<ExportOutcome> outcome = f.exportTo(f.cloud.path);
    ASSERT_TRUE(outcome);
    ASSERT_EQ(outcome->notCopied.size(), 1u);
    EXPECT_EQ(outcome->notCopied[0].name, "x.mp3");
    EXPECT_EQ(outcome->notCopied[0].reason, "the file is missing");
    EXPECT_EQ(platform::readFile(folder + "/x.mp3").value(), earlier);
    const ExportMessage message = exportMessage(*outcome);
    EXPECT_EQ(message.title, "2 of 3 files are in the folder: 1 copied, 1 already there");
    EXPECT_NE(message.details.find("• x.mp3: the file is missing"), std::string::npos) << message.details;
}
