// Files handed over to the running window: every kind of audio the reader opens, names that are
// not UTF-8, and damaged files told to the user.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"
#include "tests/platform/files/AudioFileFixtures.h"

#include "Source/views/PlaylistTableModel.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <QAction>
#include <QLabel>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

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
    platform::ScopedConsoleCapture console;
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
    platform::ScopedConsoleCapture console;
    // Handed over by a later start, with the window minimised: it comes back.
    window->showMinimized();
    delegate->openFilesFromLaterStart({paths[1]});
    EXPECT_FALSE(window->isMinimized());

    ASSERT_THAT(names(), ElementsAre(latin1));
    EXPECT_EQ(playlist().allEntries[0]->_url.path(), file.path());
    EXPECT_THAT(console.lines(), Contains(audioFolder.path + "/caf\\xE9 d\\xE9j\\xE0.wav"));
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
