// The application delegate: files handed over, the restore's fallback trigger, opening and saving
// sessions.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/support/SongArchives.h"

#include "Source/mainwindow/Environment.h"
#include "Source/mainwindow/WindowTitle.h"
#include "Source/views/PlaylistTableModel.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"
#include "tests/platform/files/AudioFileFixtures.h"
#include "tests/support/ConsoleCapture.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QTest>

#include <filesystem>
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class AppDelegateTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // Audio files whose extensions say mp3 and m4a (the audio files read by content).
        loud = audioFile("Loud.MP3", 10);
        soft = audioFile("soft.m4a", 10);
        other = audioFolder.url("Other.vantle");
        writeSession(other, {audioFile("o.wav", 10)});
    }

    platform::Url loud, soft, other;
};

TEST_F(AppDelegateTest, FilesHandedOverBeforeTheRestoreWaitForIt) {
    start();
    const std::string notes = audioFolder.path + "/notes.txt";
    delegate->openFiles({loud.path(), notes, soft.path()});
    EXPECT_TRUE(playlist().allEntries.empty());
    EXPECT_FALSE(delegate->restored());

    testsupport::ScopedConsoleCapture console;
    activate();
    EXPECT_TRUE(delegate->restored());
    // Extensions compare without case; anything but audio and sessions is refused.
    EXPECT_THAT(names(), ElementsAre("Loud.MP3", "soft.m4a"));
    EXPECT_THAT(console.lines(), ::testing::Contains(HasSubstr("can't open " + notes)));
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo add entries");
    EXPECT_FALSE(delegate->openFile(notes));

    // Handed over later, a file is taken at once.
    EXPECT_TRUE(delegate->openFile(loud.path()));
    EXPECT_THAT(names(), ElementsAre("soft.m4a", "Loud.MP3"));

    // A session replaces the open one, which is saved first: it has no location, so the save panel
    // asks for one.
    EXPECT_TRUE(delegate->openFile(other.path()));
    ASSERT_EQ(panels.pendingSavePanels(), 1u);
    EXPECT_EQ(panels.saveRequests()[0].options.nameFieldStringValue, "Session.vantle");
    const platform::Url chosen = audioFolder.url("Mine.vantle");
    ASSERT_TRUE(panels.answerSavePanel(chosen));
    platform::Result<std::shared_ptr<Playlist>> saved = Playlist::read(chosen);
    ASSERT_TRUE(saved);
    EXPECT_EQ((*saved)->allEntries.size(), 2u);
    EXPECT_THAT(names(), ElementsAre("o.wav"));
    EXPECT_EQ(view().sessionURL(), other);
    EXPECT_EQ(text(window->windowTitle()), "Other");
    EXPECT_FALSE(playlist().dirty);
}

TEST_F(AppDelegateTest, RestoreRunsOnceEvenWhenNoActivationIsReported) {
    writeAppState(AppState(other, 0, 0, nullptr, std::nullopt));
    start();
    delegate->activationFallbackMilliseconds = 0;
    delegate->applicationDidFinishLaunching();
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate->restored(); }, 5000));
    EXPECT_FALSE(view().first());
    EXPECT_THAT(names(), ElementsAre("o.wav"));

    // The activation that comes after all restores nothing again.
    const int loads = player->entrySets;
    delegate->applicationDidBecomeActive();
    EXPECT_EQ(player->entrySets, loads);
}

TEST_F(AppDelegateTest, TheApplicationsActivationRestores) {
    writeAppState(AppState(other, 0, 0, nullptr, std::nullopt));
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(application);
    // A delegate that does not follow the application waits for its caller.
    start(false);
    emit application->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_FALSE(delegate->restored());
    stop();

    // Following it, the application's activation (reported when the window came up, or now)
    // restores.
    start(true);
    emit application->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_TRUE(delegate->restored());
    EXPECT_THAT(names(), ElementsAre("o.wav"));
}

// What the panel's OK and Cancel do to the session and the user defaults is the command tests'.
TEST_F(AppDelegateTest, SavingSessionsAndTheirTitles) {
    start();
    activate();
    EXPECT_EQ(text(window->windowTitle()), "Vantle");
    view().insertEntries({loud});

    // Save As: the panel's location becomes the session's, in the title and the state file.
    view().saveAsSession();
    ASSERT_TRUE(panels.answerSavePanel(audioFolder.url("Friday.vantle")));
    EXPECT_EQ(text(window->windowTitle()), "Friday");
    EXPECT_EQ(writtenAppState()->playlistURL, audioFolder.url("Friday.vantle"));

    // With a location the session is written there, with the position.
    view().tableView().selectRows({0});
    view().transport().playPressed();
    tick(30);
    view().saveSession({});
    platform::Result<std::shared_ptr<Playlist>> saved = Playlist::read(audioFolder.url("Friday.vantle"));
    ASSERT_TRUE(saved);
    EXPECT_NEAR((*saved)->currentTime, 3.0, 1e-6);

    // Closing saves with the listening closed and empties the window.
    view().closeSession();
    EXPECT_EQ(player->entry(), nullptr);
    EXPECT_EQ(text(window->windowTitle()), "Vantle");
    saved = Playlist::read(audioFolder.url("Friday.vantle"));
    ASSERT_TRUE(saved);
    ASSERT_EQ((*saved)->allEntries.size(), 1u);
    EXPECT_EQ((*saved)->allEntries[0]->prevTimeRangeSet.ranges.size(), 1u);
}

// A session document, handed over or chosen with File › Open, is read before anything of the open
// session is saved or closed.
TEST_F(MainWindowTest, ADocumentThatCannotBeReadChangesNothing) {
    const platform::Url a = audioFile("a.wav", 30), b = audioFile("b.wav", 30);
    const platform::Url friday = audioFolder.url("Friday.vantle");
    writeSession(friday, {a, b}, 1);
    const platform::Url garbage = audioFolder.url("Garbage.vantle");
    ASSERT_TRUE(platform::writeFileAtomically(garbage.path(), std::string_view("bplist00 but not really")));
    const std::string fifo = audioFolder.path + "/x.vantle", zero = audioFolder.path + "/zero.vantle";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", zero);
    start();
    activate();
    ASSERT_TRUE(delegate->openFile(friday.path()));
    view().transport().playPressed();
    tick(20);
    view().insertEntries({audioFile("c.wav", 5)});
    const platform::Bytes document = bytesOf(friday);
    view().safekeeping().flush();
    const platform::Bytes state = bytesOf(appStateFileURL());
    ASSERT_FALSE(state.empty());
    const std::shared_ptr<Playlist> open = view().playlist();

    // Handed over, from File › Open, and a document that is missing altogether.
    struct Case {
        const char* how;
        std::function<void()> open;
    };
    const std::vector<Case> cases = {
        {"handed over", [&] { EXPECT_TRUE(delegate->openFile(garbage.path())); }},
        {"open panel",
         [&] {
             view().openSessionAction();
             ASSERT_TRUE(panels.answerOpenPanel({garbage}));
         }},
        {"missing", [&] { delegate->openFile(audioFolder.path + "/Gone.vantle"); }},
        // Neither blocks the window nor is read for ever.
        {"FIFO", [&] { EXPECT_TRUE(delegate->openFile(fifo)); }},
        {"link to /dev/zero", [&] { EXPECT_TRUE(delegate->openFile(zero)); }},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].how);
        cases[i].open();
        EXPECT_EQ(view().playlist(), open);
        EXPECT_THAT(names(), ElementsAre("a.wav", "b.wav", "c.wav"));
        EXPECT_TRUE(playlist().dirty);
        EXPECT_EQ(view().sessionURL(), friday);
        EXPECT_EQ(player->entry(), playlist().allEntries[1]);
        EXPECT_TRUE(player->playing());
        EXPECT_EQ(bytesOf(friday), document);
        EXPECT_EQ(bytesOf(appStateFileURL()), state);
        EXPECT_EQ(panels.pendingSavePanels(), 0u);
        ASSERT_EQ(alerts.requests().size(), i + 1);
        EXPECT_THAT(alerts.requests()[i].options.messageText, HasSubstr("could not be opened"));
        if (i >= 3) {
            EXPECT_THAT(alerts.requests()[i].options.informativeText, HasSubstr("is not a regular file"));
        }
    }

    // A readable one still replaces the session, which is saved first.
    writeSession(garbage, {a});
    ASSERT_TRUE(delegate->openFile(garbage.path()));
    EXPECT_THAT(names(), ElementsAre("a.wav"));
    EXPECT_EQ(view().sessionURL(), garbage);
    EXPECT_EQ(Playlist::read(friday).value()->allEntries.size(), 3u);
    EXPECT_EQ(writtenAppState()->playlistURL, garbage);
}

TEST(WindowTitle, NamesTheSessionAndStampsTestBuilds) {
    const platform::Date date = platform::Date::fromUnix(1'796'486'706.0); // 2026-12-05 16:05:06 UTC
    EXPECT_EQ(mainWindowTitle(std::nullopt, "1.2", date), "Vantle");
    EXPECT_EQ(mainWindowTitle(platform::Url::fileURLWithPath("/s/Milonga.vantle"), "1.2", date), "Milonga");
    EXPECT_EQ(mainWindowTitle(platform::Url::fileURLWithPath("/s/notes.txt"), "", date), "notes.txt");
    // A title is one line whatever the session file is called.
    EXPECT_EQ(mainWindowTitle(platform::Url::fileURLWithPath("/s/Mon\nday\t2.vantle"), "1.2b", date),
              "Mon\\nday\\t2 1.2b 2026-12-05 16:05:06 +0000");
    EXPECT_EQ(mainWindowTitle(platform::Url::fileURLWithPath("/s/Milonga.vantle"), "1.2b", date),
              "Milonga 1.2b 2026-12-05 16:05:06 +0000");
    EXPECT_EQ(Environment::versionIn({{"CFBundleShortVersionString", "2.0a"}}), "2.0a");
    EXPECT_EQ(Environment::versionIn({{"CFBundleShortVersionString", 2}}), "<unknown version>");
    EXPECT_EQ(Environment::versionIn({}), "<unknown version>");
    EXPECT_EQ(Environment::version(), Environment::versionIn(Environment::infoDictionary()));
}

// Files handed over to the running window: every kind of audio the reader opens, names that are not UTF-8,
// and damaged files told to the user.
class HandoverTest : public MainWindowTest {
protected:
    platform::Url sndfileTone(const std::string& name, int format) {
        const platform::Url url = audioFolder.url(name);
        EXPECT_TRUE(fixtures::writeWithSndfile(url.path(), format, fixtures::tone(8000, 1, 8000), 8000))
            << name;
        return url;
    }
};

TEST_F(HandoverTest, EveryFileTheReaderOpensIsAddedAndTheOthersAreListedInOneAlert) {
    const std::vector<platform::Url> audio = {
        sndfileTone("a.FLAC", SF_FORMAT_FLAC | SF_FORMAT_PCM_16),
        sndfileTone("b.ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS),
        sndfileTone("c.Aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16),
        audioFile("d.wav", 2),
        sndfileTone("e.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III),
    };
    const platform::Url corrupt = audioFolder.url("broken.mp3");
    ASSERT_TRUE(platform::writeFileAtomically(corrupt.path(), std::string(4096, '\x5A')));
    const platform::Url notes = audioFolder.url("notes.txt");
    ASSERT_TRUE(platform::writeFileAtomically(notes.path(), std::string_view("not audio")));
    start();
    activate();

    std::vector<std::string> paths;
    for (const platform::Url& url : audio)
        paths.push_back(url.path());
    paths.insert(paths.begin() + 2, corrupt.path());
    paths.push_back(notes.path());
    testsupport::ScopedConsoleCapture console;
    delegate->openFiles(paths);

    EXPECT_THAT(names(), ElementsAre("a.FLAC", "b.ogg", "c.Aiff", "d.wav", "e.mp3"));
    EXPECT_EQ(text(delegate->undoAction()->text()), "Undo add entries");
    EXPECT_THAT(console.lines(), Contains(HasSubstr("can't add " + corrupt.path())));
    ASSERT_EQ(alerts.requests().size(), 1u);
    const platform::AlertOptions& shown = alerts.requests()[0].options;
    EXPECT_EQ(shown.messageText, "2 files could not be added.");
    EXPECT_THAT(shown.informativeText, HasSubstr(corrupt.path() + ": the file is damaged"));
    EXPECT_THAT(shown.informativeText, HasSubstr(notes.path() + ": not a session or an audio file"));

    // Handed over alone, a damaged file still gets its alert.
    EXPECT_FALSE(delegate->openFile(corrupt.path()));
    EXPECT_EQ(alerts.requests().size(), 2u);
    EXPECT_EQ(alerts.requests()[1].options.messageText, "A file could not be added.");
}

// A zip of one song's audio and graphics is taken by every way of adding files, under the audio's name;
// a zip that is not one song is refused with its own reason wherever it was named by itself.
TEST_F(HandoverTest, SongArchivesAreAddedEveryWayAndRefusedWithTheirReason) {
    const std::vector<std::uint8_t> audio =
        testsupport::readWholeFile(sndfileTone("tone.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16).path());
    std::filesystem::create_directory(audioFolder.file("discs"));
    const platform::Url song = audioFolder.url("discs/Disc 1.zip"),
                        extra = audioFolder.url("discs/Extra.zip");
    ASSERT_TRUE(testsupport::writeZip(
        song.path(), {{"Singer - Song.wav", audio}, {"Singer - Song.cdg", testsupport::blankCdg()}}));
    ASSERT_TRUE(testsupport::writeZip(
        extra.path(), {{"a.wav", audio}, {"a.cdg", testsupport::blankCdg()}, {"a.txt", {1}}}));
    const std::string reason =
        extra.path() + ": the zip archive holds \"a.txt\" beside the song's audio and graphics";
    struct Way {
        const char* name;
        std::function<void()> add;
        bool refusalShown;
    };
    const Way ways[] = {
        {"command line",
         [&] {
             delegate->openFiles({song.path(), extra.path()});
         },
         true},
        {"Add Files",
         [&] {
             view().addChosenFiles({song, extra});
         },
         true},
        {"drop",
         [&] {
             view().acceptDroppedURLs({song, extra}, 0);
         },
         true},
        {"Add Folder", [&] { view().addChosenFiles({audioFolder.url("discs")}); }, false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        start();
        activate();
        const std::size_t alerts0 = alerts.requests().size();
        way.add();
        // Zips are measured on a worker.
        ASSERT_TRUE(platform::mainQueue().drainUntil([this] { return !view().adding(); }, 60));
        ASSERT_EQ(playlist().allEntries.size(), 1u);
        EXPECT_EQ(playlist().allEntries[0]->_url, song);
        EXPECT_EQ(playlist().allEntries[0]->archivedAudio, "Singer - Song.wav");
        // Above the clock too, the song is named by its audio.
        view().loadEntry(playlist().allEntries[0]);
        view().refreshDisplay();
        EXPECT_EQ(text(view().entryName().text()), " Singer - Song.wav ");
        if (way.refusalShown) {
            ASSERT_EQ(alerts.requests().size(), alerts0 + 1);
            EXPECT_THAT(alerts.requests().back().options.informativeText, HasSubstr(reason));
        } else {
            EXPECT_EQ(alerts.requests().size(), alerts0);
        }
    }
}

// A refused file or session whose name holds a line break or a tab keeps to one line of its alert.
TEST_F(HandoverTest, RefusedNamesWithLineBreaksKeepToOneLineOfTheAlert) {
    const platform::Url notes = audioFolder.url("a\nnotes.txt"), broken = audioFolder.url("b\tbroken.mp3");
    ASSERT_TRUE(platform::writeFileAtomically(notes.path(), std::string_view("not audio")));
    ASSERT_TRUE(platform::writeFileAtomically(broken.path(), std::string(4096, '\x5A')));
    const platform::Url session = audioFolder.url("Bad\nday.vantle");
    ASSERT_TRUE(platform::writeFileAtomically(session.path(), std::string_view("not a session")));
    start();
    activate();
    delegate->openFiles({notes.path(), broken.path()});
    ASSERT_EQ(alerts.requests().size(), 1u);
    EXPECT_EQ(alerts.requests()[0].options.informativeText,
              audioFolder.path + "/a\\nnotes.txt: not a session or an audio file\n" + audioFolder.path +
                  "/b\\tbroken.mp3: the file is damaged or holds no audio that Vantle can play");
    delegate->openFile(session.path());
    ASSERT_EQ(alerts.requests().size(), 2u);
    EXPECT_EQ(alerts.requests()[1].options.messageText,
              "The session “Bad\\nday.vantle” could not be opened.");
}

TEST_F(HandoverTest, ANameThatIsNotUtf8IsAddedStoredAndShownWithReplacementCharacters) {
    const std::string latin1 = "caf\xE9 d\xE9j\xE0.wav";
    const platform::Url file = audioFile(latin1, 3);
    const platform::Url session = audioFolder.url("Latin.vantle");
    // The command line's bytes are the path, made absolute.
    const std::string relative = "caf\xE9 d\xE9j\xE0.wav";
    const char* const argv[] = {"vantle", relative.c_str(), file.path().c_str()};
    const std::vector<std::string> paths = AppDelegate::commandLinePaths(3, argv);
    EXPECT_THAT(paths, ElementsAre(platform::Url::fileURLWithPath(relative).path(), file.path()));
    EXPECT_EQ(paths[0].substr(0, 1), "/");

    start();
    activate();
    testsupport::ScopedConsoleCapture console;
    // Handed over by a later start, with the window minimised: it comes back.
    window->showMinimized();
    delegate->openFilesFromLaterStart({paths[1]});
    EXPECT_FALSE(window->isMinimized());

    ASSERT_THAT(names(), ElementsAre(latin1));
    EXPECT_EQ(playlist().allEntries[0]->_url.path(), file.path());
    EXPECT_THAT(console.lines(), Contains("added " + audioFolder.path + "/caf\\xE9 d\\xE9j\\xE0.wav"));
    view().tableView().selectRows({0});
    ASSERT_EQ(player->entry(), playlist().allEntries[0]);
    EXPECT_TRUE(player->playable());
    const QString title = view()
                              .tableView()
                              .playlistModel()
                              .index(0, PlaylistTableModel::columnIndex(PlaylistColumn::Title))
                              .data()
                              .toString();
    EXPECT_EQ(title, QString::fromUtf8("caf\uFFFD d\uFFFDj\uFFFD.wav"));
    EXPECT_THAT(view().entryName().text().toStdString(), HasSubstr("caf\uFFFD d\uFFFDj\uFFFD"));

    // The document keeps the bytes, percent-encoded, and gives them back.
    view().saveAsSession();
    ASSERT_TRUE(panels.answerSavePanel(session));
    const platform::Bytes written = bytesOf(session);
    EXPECT_NE(std::string(written.begin(), written.end()).find("caf%E9%20d%E9j%E0.wav"), std::string::npos);
    platform::Result<std::shared_ptr<Playlist>> read = Playlist::read(session);
    ASSERT_TRUE(read);
    ASSERT_EQ((*read)->allEntries.size(), 1u);
    EXPECT_EQ((*read)->allEntries[0]->_url.path(), file.path());
    EXPECT_TRUE(alerts.requests().empty());
}

} // namespace
} // namespace vantle::testing
