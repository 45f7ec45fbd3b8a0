#include "Source/session/AppState.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/Console.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"
#include "tests/support/Environment.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>

using namespace vantle;
using namespace vantle::testing;

namespace {

std::vector<std::string> stateKeys(const platform::Url& file) {
    return dictionaryKeys(platform::parsePlist(platform::readFile(file.path()).value()).value());
}

// Points the state folder at a test folder and back at the default afterwards.
class ScopedStateFolder {
public:
    explicit ScopedStateFolder(std::string folder) { setAppStateDirectory(std::move(folder)); }
    ~ScopedStateFolder() { setAppStateDirectory(std::nullopt); }
};

} // namespace

TEST(AppState, KeysInOrderAndOnlyWhenPresent) {
    SessionTempFolder folder;
    platform::Url file = folder.url("state.plist");
    AppState bare;
    bare.playlistURL = folder.url("s.vantle");
    writeAppState(bare, file);
    EXPECT_EQ(stateKeys(file), (std::vector<std::string>{"playlistURL", "currentTime"}));

    AppState full(folder.url("s.vantle"), 42.5, 3, heardSpans({{1, 2.5}}), std::vector<double>{});
    writeAppState(full, file);
    EXPECT_EQ(stateKeys(file), (std::vector<std::string>{"playlistURL", "currentTime", "currentEntryIndex",
                                                         "currentTimeRangeSet", "zeros"}));
    auto read = readAppState(file);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(platform::encodePlistValue(*read).value(), platform::encodePlistValue(full).value());

    // Whether the listening was logged comes back exactly, and with it onto the entry.
    for (bool logged : {false, true}) {
        full.currentListeningLogged = logged;
        writeAppState(full, file);
        EXPECT_EQ(stateKeys(file).back(), "currentListeningLogged");
        auto again = readAppState(file);
        ASSERT_TRUE(again.ok());
        EXPECT_EQ(again->currentListeningLogged, logged);
        std::shared_ptr<PlaylistEntry> entry = decodedEntry("file:///song.wav");
        entry->listeningLogged = !logged;
        again->restore(*entry);
        EXPECT_EQ(entry->listeningLogged, logged);
    }

    // Without a session location the file is deleted instead.
    writeAppState(AppState{}, file);
    EXPECT_FALSE(platform::fileExists(file.path()));
    writeAppState(AppState{}, file); // nothing to delete: no complaint
}

TEST(AppState, BadStateFilesGiveErrors) {
    SessionTempFolder folder;
    platform::Url file = folder.url("state.plist");
    EXPECT_FALSE(readAppState(file).ok());
    ASSERT_TRUE(platform::writeFileAtomically(
        file.path(),
        platform::serializeBinaryPlist(platform::PlistDictionary{{"playlistURL", "file:///s.vantle"}})
            .value()));
    EXPECT_FALSE(readAppState(file).ok()); // no "currentTime"
    ASSERT_TRUE(platform::writeFileAtomically(
        file.path(),
        platform::serializeBinaryPlist(platform::PlistDictionary{{"currentTime", 1.0}, {"zeros", "none"}})
            .value()));
    EXPECT_FALSE(readAppState(file).ok());
    // One larger than any record is not read (the start reads it on the window's thread).
    ASSERT_EQ(::truncate(file.path().c_str(), off_t(appStateFileSizeLimit) + 1), 0);
    const platform::Result<AppState> large = readAppState(file);
    ASSERT_FALSE(large.ok());
    EXPECT_EQ(large.error().code, EFBIG);
}

TEST(AppState, CapturesAndRestoresTheCurrentEntry) {
    Playlist playlist;
    auto a = decodedEntry("file:///m/a.mp3");
    auto b = decodedEntry("file:///m/b.mp3");
    playlist.allEntries = {a, b};
    playlist.filterText = "a"; // indexes are of the full list
    playlist.assignedEntry = b;
    FakePlayer player;
    player.playerEntry = b;
    b->beginTimeRange(7);
    b->zeros = {3};
    player.fileTime = 20;
    player.startTime = 7;

    AppState paused = AppState::capture(std::nullopt, playlist, player);
    EXPECT_EQ(paused.currentTime, 7);
    EXPECT_EQ(paused.currentEntryIndex, 1);
    EXPECT_EQ(paused.currentTimeRangeSet, b->currentTimeRangeSet); // the same object
    EXPECT_EQ(paused.zeros, std::vector<double>{3});
    player.playing = true;
    EXPECT_EQ(AppState::capture(std::nullopt, playlist, player).currentTime, 20);

    player.playerEntry = nullptr;
    playlist.assignedEntry = decodedEntry("file:///m/elsewhere.mp3");
    AppState empty = AppState::capture(std::nullopt, playlist, player);
    EXPECT_FALSE(empty.currentEntryIndex || empty.currentTimeRangeSet || empty.zeros || empty.playlistURL);

    EXPECT_EQ(paused.entryIndex(playlist), 1u);
    for (std::int64_t index : {-1, 2, 99})
        EXPECT_FALSE(AppState(std::nullopt, 0, index, nullptr, std::nullopt).entryIndex(playlist)) << index;

    // Marks present but empty replace the entry's; absent ones leave them.
    a->zeros = {1, 2};
    AppState(std::nullopt, 0, 0, nullptr, std::vector<double>{}).restore(*a);
    EXPECT_TRUE(a->zeros.empty());
    a->zeros = {1, 2};
    auto spans = std::make_shared<TimeRangeSet>();
    AppState(std::nullopt, 0, 0, spans, std::nullopt).restore(*a);
    EXPECT_EQ(a->zeros, (std::vector<double>{1, 2}));
    EXPECT_EQ(a->currentTimeRangeSet, spans);
}

TEST(AppState, FileLivesInTheStateFolderAndFailuresAreReportedOnce) {
    SessionTempFolder folder;
    {
        ScopedStateFolder scoped(folder.path + "/nested/state");
        EXPECT_EQ(appStateFileURL().path(), folder.path + "/nested/state/state.plist");
        EXPECT_TRUE(platform::isDirectory(folder.path + "/nested/state"));
    }

    {
        testsupport::ScopedEnvironment environment("XDG_STATE_HOME", folder.path + "/xdg");
        setAppStateDirectory(std::nullopt);
        EXPECT_EQ(appStateFileURL().path(), folder.path + "/xdg/com.fennorastudio.Vantle/state.plist");
    }

    // A state folder that cannot be made (a file is in the way): one line, then silence.
    ASSERT_TRUE(platform::writeFileAtomically(folder.path + "/blocker", std::string_view("x")));
    ScopedStateFolder blocked(folder.path + "/blocker/state");
    testsupport::ScopedConsoleCapture console;
    platform::Url file = appStateFileURL();
    AppState state(folder.url("s.vantle"), 1, std::nullopt, nullptr, std::nullopt);
    writeAppState(state, file);
    writeAppState(state, file);
    EXPECT_EQ(console.lines(),
              std::vector<std::string>{"can't create folder " + folder.path + "/blocker/state"});

    // Once writing works again, the next failure is reported again.
    writeAppState(state, folder.url("state.plist"));
    writeAppState(state, file);
    EXPECT_EQ(console.lines().size(), 2u);
    EXPECT_EQ(console.lines().back(), "can't save " + file.absoluteString());
}

// With no session the state file goes, and only it: a folder that has taken its name stays with all
// it holds, reported once; a link goes, not what it points to.
TEST(AppState, WithoutASessionOnlyTheStateFileItselfGoes) {
    SessionTempFolder folder;
    ScopedStateFolder scoped(folder.path);
    const platform::Url file = folder.url("state.plist");
    const AppState none;
    ASSERT_TRUE(platform::createDirectory(file.path() + "/inner"));
    ASSERT_TRUE(platform::writeFileAtomically(file.path() + "/notes.txt", std::string_view("mine")));
    testsupport::ScopedConsoleCapture console;
    writeAppState(none, file);
    writeAppState(none, file);
    EXPECT_EQ(testsupport::entryNames(file.path()), (std::set<std::string>{"inner", "notes.txt"}));
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find(file.path()), std::string::npos) << console.lines()[0];
    EXPECT_NE(console.lines()[0].find("it is a folder"), std::string::npos) << console.lines()[0];

    const platform::Url linked = folder.url("linked.plist");
    std::filesystem::create_symlink(folder.url("state.plist/notes.txt").path(), linked.path());
    writeAppState(none, linked);
    EXPECT_FALSE(std::filesystem::is_symlink(linked.path()));
    EXPECT_TRUE(platform::fileExists(file.path() + "/notes.txt"));

    const platform::Url written = folder.url("written.plist");
    writeAppState(AppState(folder.url("s.vantle"), 1, std::nullopt, nullptr, std::nullopt), written);
    ASSERT_TRUE(platform::fileExists(written.path()));
    writeAppState(none, written);
    EXPECT_FALSE(platform::fileExists(written.path()));
    // Nothing there is nothing to say.
    writeAppState(none, written);
    EXPECT_EQ(console.lines().size(), 1u);
}
