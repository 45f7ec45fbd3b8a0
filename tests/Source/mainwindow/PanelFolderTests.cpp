// The open and save panels start in the folder last used for their kind, else in the user's Music
// or Documents folder.

#include "tests/Source/mainwindow/MainWindowTestSupport.h"

#include "Source/mainwindow/PanelFolders.h"
#include "platform/ui/RecentDocuments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace vantle::testing {
namespace {

class PanelFolderTest : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        home = std::getenv("HOME");
        userDirs = std::string(std::getenv("XDG_CONFIG_HOME")) + "/user-dirs.dirs";
        std::ofstream(userDirs) << "XDG_MUSIC_DIR=\"$HOME/Tunes\"\nXDG_DOCUMENTS_DIR=\"$HOME/Papers\"\n";
        for (const char* folder : {"Tunes", "Papers"})
            std::filesystem::create_directories(home + "/" + folder);
        start();
        activate();
    }
    void TearDown() override {
        MainWindowTest::TearDown();
        std::filesystem::remove(userDirs);
        for (const char* folder : {"Tunes", "Papers"})
            std::filesystem::remove_all(home + "/" + folder);
    }

    std::string lastOpenFolder() { return panels.openRequests().back().options.directory; }
    std::string lastSaveFolder() { return panels.saveRequests().back().options.directory; }
    std::string folder(const std::string& name) {
        std::filesystem::create_directories(audioFolder.path + "/" + name);
        return audioFolder.path + "/" + name;
    }

    std::string home;
    std::string userDirs;
};

TEST_F(PanelFolderTest, EachKindStartsInItsLastFolderElseTheUsersFolderElseHome) {
    view().openSessionAction();
    EXPECT_EQ(lastOpenFolder(), home + "/Papers");
    view().chooseFilesToAdd();
    EXPECT_EQ(lastOpenFolder(), home + "/Tunes");
    ASSERT_TRUE(panels.answerOpenPanel({}));
    ASSERT_TRUE(panels.answerOpenPanel({}));

    // A session opened from one folder: the session panels start there, the audio panel does not.
    const platform::Url set = platform::Url::fileURLWithPath(folder("sets") + "/class.vantle");
    writeSession(set, {audioFile("one.wav", 2.0)});
    view().openSessionAction();
    ASSERT_TRUE(panels.answerOpenPanel({set}));
    view().saveAsSession();
    EXPECT_EQ(lastSaveFolder(), audioFolder.path + "/sets");
    ASSERT_TRUE(panels.answerSavePanel(platform::Url::fileURLWithPath(folder("saved") + "/copy.vantle")));
    view().openSessionAction();
    EXPECT_EQ(lastOpenFolder(), audioFolder.path + "/saved");
    ASSERT_TRUE(panels.answerOpenPanel({}));
    view().chooseFilesToAdd();
    EXPECT_EQ(lastOpenFolder(), home + "/Tunes");
    ASSERT_TRUE(panels.answerOpenPanel({}));

    // A folder that is gone, or a user folder that does not exist: the next in line.
    std::filesystem::remove_all(audioFolder.path + "/saved");
    std::filesystem::remove_all(home + "/Papers");
    view().openSessionAction();
    EXPECT_EQ(lastOpenFolder(), home);
}

// Which files of a folder are added, in what order and which row is then selected, the command
// tests pin; the lowest selected row becoming current, the list step's.
TEST_F(PanelFolderTest, TheNextAddStartsBesideWhatWasChosen) {
    audioFile("music/a.wav", 1.0);
    view().insertEntries({audioFile("single.wav", 1.0)});

    view().chooseFilesToAdd();
    ASSERT_TRUE(panels.answerOpenPanel({audioFolder.url("music")}));
    ASSERT_EQ(playlist().allEntries.size(), 2u);

    view().chooseFilesToAdd();
    EXPECT_EQ(lastOpenFolder(), audioFolder.path) << "the folder that holds what was chosen";
}

TEST_F(PanelFolderTest, TheAddPanelOffersAudioFilesAndTheDocumentPanelStartsInItsLastFolder) {
    view().chooseFilesToAdd();
    const platform::OpenPanelOptions& add = panels.openRequests().back().options;
    EXPECT_EQ(add.message, "Add Files");
    ASSERT_EQ(add.fileFilters.size(), 2u);
    EXPECT_EQ(add.fileFilters[0].name, "Audio files");
    for (const char* extension : {"wav", "mp3", "m4a", "flac", "ogg", "aiff", "caf"})
        EXPECT_NE(
            std::find(add.fileFilters[0].extensions.begin(), add.fileFilters[0].extensions.end(), extension),
            add.fileFilters[0].extensions.end())
            << extension;
    EXPECT_EQ(add.fileFilters[1], (platform::PanelFileFilter{"All files", {}}));
    EXPECT_TRUE(add.allowedExtensions.empty()) << "any file may still be chosen";
    ASSERT_TRUE(panels.answerOpenPanel({}));

    view().insertEntries({audioFile("song.wav", 1.0)});
    view().tableView().selectRows({0});
    view().attachmentStackAddButtonPressed();
    EXPECT_EQ(lastOpenFolder(), home + "/Papers");
    const std::string scores = folder("Scores");
    ASSERT_TRUE(platform::writeFileAtomically(scores + "/waltz.pdf", std::string_view("%PDF")));
    ASSERT_TRUE(panels.answerOpenPanel({platform::Url::fileURLWithPath(scores + "/waltz.pdf")}));
    view().attachmentStackAddButtonPressed();
    EXPECT_EQ(lastOpenFolder(), scores);
    ASSERT_TRUE(panels.answerOpenPanel({}));
    view().chooseFilesToAdd();
    EXPECT_EQ(lastOpenFolder(), home + "/Tunes") << "the audio panel keeps its own folder";
}

TEST_F(PanelFolderTest, TheOpenSessionPanelIsTitledAndShowsSessionsFirst) {
    view().openSessionAction();
    const platform::OpenPanelOptions& options = panels.openRequests().back().options;
    EXPECT_EQ(options.message, "Open Session");
    EXPECT_EQ(options.fileFilters,
              (std::vector<platform::PanelFileFilter>{{"Vantle sessions", {"vantle"}}, {"All files", {}}}));
    EXPECT_TRUE(options.allowedExtensions.empty()) << "a session under another name may still be chosen";
    EXPECT_FALSE(options.allowsMultipleSelection || options.canChooseDirectories);
}

// Where the panel looking for a moved file starts.
TEST_F(PanelFolderTest, AMovedFileIsLookedForInItsFolderOrTheNearestThatExists) {
    const std::string band = folder("Old/Band");
    ASSERT_TRUE(platform::writeFileAtomically(audioFolder.path + "/Old/file", std::string_view("x")));
    const struct {
        std::string path;
        std::string start;
    } cases[] = {
        {band + "/song.wav", band},
        {band + "/gone/deeper/song.wav", band},
        {audioFolder.path + "/Old/file/song.wav", audioFolder.path + "/Old"}, // a file is no folder
        {band + "/../Band/./song.wav", band},
        {"/no-such-folder-here/song.wav", "/"},
        {"relative/song.wav", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nearestExistingFolder(c.path), c.start) << c.path;
}

TEST_F(PanelFolderTest, SaveAsProposesTheSessionsNameAndEveryNewLocationIsRecent) {
    view().insertEntries({audioFile("song.wav", 1.0)});
    // Named with Save (Ctrl+S): recent at once.
    view().saveSessionAction();
    EXPECT_EQ(panels.saveRequests().back().options.nameFieldStringValue, "Session.vantle");
    const platform::Url first = platform::Url::fileURLWithPath(folder("sets") + "/Tuesday.vantle");
    ASSERT_TRUE(panels.answerSavePanel(first));
    platform::RecentDocuments recent(platform::UserDefaults::standard());
    EXPECT_EQ(recent.recentDocumentUrls(), std::vector<platform::Url>{first});
    EXPECT_EQ(platform::UserDefaults::standard().url("lastSessionURL"), first);

    view().saveAsSession();
    EXPECT_EQ(panels.saveRequests().back().options.nameFieldStringValue, "Tuesday.vantle");
    const platform::Url second =
        platform::Url::fileURLWithPath(audioFolder.path + "/sets/Tuesday late.vantle");
    ASSERT_TRUE(panels.answerSavePanel(second));
    EXPECT_EQ(recent.recentDocumentUrls(), (std::vector<platform::Url>{second, first}));
}

} // namespace
} // namespace vantle::testing
