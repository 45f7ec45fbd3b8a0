#include "Source/session/Playlist.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/Source/session/SessionFakes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantle;
using namespace vantle::testing;

namespace {

std::vector<std::string> documentKeys(const platform::PlistValue& tree) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : *tree.asDictionary())
        keys.push_back(key);
    return keys;
}

platform::PlistValue savedTree(const std::string& path) {
    platform::Bytes bytes = platform::readFile(path).value();
    return platform::parsePlist(bytes).value();
}

platform::PlistDictionary documentEntry(const std::string& url) {
    return platform::PlistDictionary{
        {"_url", platform::PlistDictionary{{"relative", url}}},
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}}};
}

platform::Result<std::shared_ptr<Playlist>> decodeDocument(const platform::PlistDictionary& document) {
    platform::Bytes bytes = platform::serializeBinaryPlist(document).value();
    return platform::decodePlist<std::shared_ptr<Playlist>>(bytes);
}

std::shared_ptr<PlaylistEntry> documentTestEntry(const std::string& url,
                                                 std::optional<std::string> tags = {}) {
    platform::PlistDictionary record = documentEntry(url);
    if (tags) record.set("tags", *tags);
    return platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(platform::PlistValue(record)).value();
}

std::vector<std::string> fileNames(const Playlist::EntryList& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries)
        names.push_back(entry->_url.lastPathComponent());
    return names;
}

} // namespace

TEST(PlaylistDocument, NewDocumentSavesThreeKeysAsABinaryList) {
    SessionTempFolder folder;
    Playlist playlist;
    playlist.dirty = true;
    platform::Url url = folder.url("Dance Night.vantle");
    playlist.save(url);
    EXPECT_FALSE(playlist.dirty);
    EXPECT_EQ(playlist.url, url);
    platform::Bytes bytes = platform::readFile(url.path()).value();
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00");
    platform::PlistValue tree = platform::parsePlist(bytes).value();
    EXPECT_EQ(documentKeys(tree), (std::vector<std::string>{"playlist", "currentItem", "currentTime"}));
    EXPECT_EQ(*tree.find("playlist"), platform::PlistValue(platform::PlistArray{}));
    // -1 is a signed integer, not a real and not a huge unsigned value.
    EXPECT_EQ(tree.find("currentItem")->asInteger(), -1);
    EXPECT_EQ(tree.find("currentTime")->asReal(), 0.0);
}

TEST(PlaylistDocument, ReadingNeedsPlaylistAndTimeAndKnownAgeUnits) {
    platform::PlistDictionary full{{"playlist", platform::PlistArray{documentEntry("file:///m/a.mp3")}},
                                   {"somethingElse", "ignored"},
                                   {"currentItem", 0},
                                   {"currentTime", 12.5},
                                   {"ageUnits", "weeks"},
                                   {"automaticallyMoveToHistory", true},
                                   {"directoryPrefix", "/m/"}};
    auto document = decodeDocument(full);
    ASSERT_TRUE(document.ok()) << document.error().message;
    const Playlist& playlist = **document;
    EXPECT_EQ(playlist.allEntries.size(), 1u);
    EXPECT_EQ(playlist._currentItem, 0);
    EXPECT_EQ(playlist.currentTime, 12.5);
    EXPECT_EQ(playlist._ageUnits, AgeUnits::weeks);
    EXPECT_EQ(playlist.automaticallyMoveToHistory, true);
    EXPECT_EQ(playlist._directoryPrefix, "/m/");
    EXPECT_FALSE(playlist.dirty);
    EXPECT_TRUE(playlist.undoer.undoStack().empty());

    for (const char* units : {"months", "weeks", "days", "hours"}) {
        platform::PlistDictionary withUnits = full;
        withUnits.set("ageUnits", units);
        auto decoded = decodeDocument(withUnits);
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(rawValue(*(*decoded)->_ageUnits), units);
    }
    platform::PlistDictionary badUnits = full;
    badUnits.set("ageUnits", "years");
    EXPECT_FALSE(decodeDocument(badUnits).ok());
    EXPECT_FALSE(fromRawValue(std::type_identity<AgeUnits>{}, "Weeks"));

    for (const char* required : {"playlist", "currentTime"}) {
        platform::PlistDictionary missing = full;
        missing.remove(required);
        EXPECT_FALSE(decodeDocument(missing).ok()) << required;
    }
    platform::PlistDictionary wrongKind = full;
    wrongKind.set("currentTime", "noon");
    EXPECT_FALSE(decodeDocument(wrongKind).ok());
    platform::PlistDictionary brokenEntry = full;
    brokenEntry.set("playlist", platform::PlistArray{platform::PlistDictionary{{"_url", "file:///m/a.mp3"}}});
    EXPECT_FALSE(decodeDocument(brokenEntry).ok());
}

TEST(PlaylistDocument, SettingsComeBackOnlyWhenTheyWereThere) {
    SessionTempFolder folder;
    platform::PlistDictionary plain{{"playlist", platform::PlistArray{}}, {"currentTime", 0.0}};
    auto bare = decodeDocument(plain).value();
    bare->save(folder.url("bare.vantle"));
    EXPECT_EQ(documentKeys(savedTree(folder.path + "/bare.vantle")),
              (std::vector<std::string>{"playlist", "currentItem", "currentTime"}));

    platform::PlistDictionary settings{{"playlist", platform::PlistArray{}},
                                       {"currentTime", 3.0},
                                       {"ageUnits", "weeks"},
                                       {"automaticallyMoveToHistory", true},
                                       {"directoryPrefix", "/music/"}};
    auto carried = decodeDocument(settings).value();
    carried->save(folder.url("settings.vantle"));
    platform::PlistValue tree = savedTree(folder.path + "/settings.vantle");
    EXPECT_EQ(documentKeys(tree),
              (std::vector<std::string>{"playlist", "currentItem", "currentTime", "ageUnits",
                                        "automaticallyMoveToHistory", "directoryPrefix"}));
    EXPECT_EQ(*tree.find("ageUnits"), platform::PlistValue("weeks"));
    EXPECT_EQ(*tree.find("automaticallyMoveToHistory"), platform::PlistValue(true));
    EXPECT_EQ(*tree.find("directoryPrefix"), platform::PlistValue("/music/"));
}

TEST(PlaylistDocument, CurrentEntrySurvivesSavingAndOutOfRangeIndexesMeanNone) {
    SessionTempFolder folder;
    Playlist playlist;
    playlist.allEntries = {documentTestEntry("file:///m/a.mp3"), documentTestEntry("file:///m/b.mp3")};
    playlist.allEntries[0]->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    playlist.allEntries[0]->currentTimeRangeSet->ranges = {{1, 2}};
    playlist.assignedEntry = playlist.allEntries[0];
    playlist.save(folder.url("s.vantle"));
    EXPECT_EQ(playlist._currentItem, 0);

    auto reopened = Playlist::read(folder.url("s.vantle")).value();
    reopened->prepareAfterLoad();
    ASSERT_TRUE(reopened->assignedEntry);
    EXPECT_EQ(reopened->assignedEntry, reopened->allEntries[0]);
    // Every entry starts a new listening.
    for (const auto& entry : reopened->allEntries) {
        ASSERT_TRUE(entry->currentTimeRangeSet);
        EXPECT_TRUE(entry->currentTimeRangeSet->ranges.empty());
    }

    // A current entry that is no longer listed saves as -1, which opens with none current.
    playlist.assignedEntry = documentTestEntry("file:///m/gone.mp3");
    playlist.save(folder.url("s.vantle"));
    EXPECT_EQ(savedTree(folder.path + "/s.vantle").find("currentItem")->asInteger(), -1);
    auto none = Playlist::read(folder.url("s.vantle")).value();
    none->prepareAfterLoad();
    EXPECT_FALSE(none->assignedEntry);

    for (std::int64_t index : {2, 1000000}) {
        platform::PlistDictionary document{
            {"playlist",
             platform::PlistArray{documentEntry("file:///m/a.mp3"), documentEntry("file:///m/b.mp3")}},
            {"currentItem", index},
            {"currentTime", 0.0}};
        auto beyond = decodeDocument(document).value();
        EXPECT_FALSE(beyond->_currentItem);
        beyond->prepareAfterLoad();
        EXPECT_FALSE(beyond->assignedEntry);
    }
}

TEST(PlaylistDocument, BadFilesGiveErrorsAndDocumentsRoundTripByteForByte) {
    SessionTempFolder folder;
    SessionTempFolder media;
    Playlist playlist;
    for (const char* name : {"a.wav", "b.mp4", "c d.wav"})
        playlist.insertEntry(writeSilentWav(media.url(name), 1));
    ASSERT_EQ(playlist.allEntries.size(), 3u);
    auto& first = playlist.allEntries[0];
    first->tags = "xy";
    first->zeros = {1.5, 30};
    first->playedDates = {platform::Date{700000000.25}};
    first->isCheckmarked = true;
    first->storedBookmark = platform::Bytes{0, 1, 2};
    first->beginTimeRange(4);
    first->currentTimeRangeSet->extendRange(0, 9.75);
    first->prevTimeRangeSet.ranges = {{0, 0.5}, {2, 3}};
    playlist.assignedEntry = playlist.allEntries[1];
    playlist._ageUnits = AgeUnits::hours;
    playlist._directoryPrefix = "/media/";
    playlist.currentTime = 61.25;
    playlist.save(folder.url("written.vantle"));
    platform::Bytes written = platform::readFile(folder.path + "/written.vantle").value();

    auto reread = Playlist::read(folder.url("written.vantle"));
    ASSERT_TRUE(reread.ok()) << reread.error().message;
    EXPECT_EQ(platform::encodePlist(**reread).value(), written);
    // As the application does it: open, prepare, save; and once more.
    (*reread)->prepareAfterLoad();
    (*reread)->save(folder.url("again.vantle"));
    platform::Bytes again = platform::readFile(folder.path + "/again.vantle").value();
    auto third = Playlist::read(folder.url("again.vantle")).value();
    third->prepareAfterLoad();
    EXPECT_EQ(third->assignedEntry, third->allEntries[1]);
    third->save(folder.url("third.vantle"));
    EXPECT_EQ(platform::readFile(folder.path + "/third.vantle").value(), again);

    // Truncated at every length, or garbage: an error, never a crash.
    for (std::size_t length = 0; length < written.size(); length += 7) {
        platform::Bytes cut(written.begin(), written.begin() + static_cast<std::ptrdiff_t>(length));
        ASSERT_TRUE(platform::writeFileAtomically(folder.path + "/cut.vantle", cut));
        EXPECT_FALSE(Playlist::read(folder.url("cut.vantle")).ok()) << length;
    }
    platform::Bytes garbage = written;
    for (std::size_t i = 8; i < garbage.size(); i += 5)
        garbage[i] ^= 0x5A;
    ASSERT_TRUE(platform::writeFileAtomically(folder.path + "/garbage.vantle", garbage));
    (void)Playlist::read(folder.url("garbage.vantle")); // any outcome but a crash
    ASSERT_TRUE(platform::writeFileAtomically(folder.path + "/text.vantle", std::string_view("hello")));
    EXPECT_FALSE(Playlist::read(folder.url("text.vantle")).ok());
    EXPECT_FALSE(Playlist::read(folder.url("missing.vantle")).ok());
}

TEST(PlaylistDocument, FailedSaveKeepsTheOldFileAndTheDirtyFlag) {
    SessionTempFolder folder;
    Playlist playlist;
    platform::Url url = folder.url("doc.vantle");
    playlist.save(url);
    platform::Bytes before = platform::readFile(url.path()).value();

    // A folder in the way: even root cannot replace it with a file.
    ASSERT_TRUE(platform::createDirectory(folder.path + "/blocked.vantle/inside"));
    playlist.dirty = true;
    {
        platform::ScopedConsoleCapture console;
        playlist.save(folder.url("blocked.vantle"));
        EXPECT_EQ(console.lines(),
                  std::vector<std::string>{"can't save " + folder.url("blocked.vantle").absoluteString()});
    }
    EXPECT_TRUE(playlist.dirty);
    EXPECT_TRUE(platform::isDirectory(folder.path + "/blocked.vantle/inside"));

    // A prefix that is not UTF-8 cannot be stored: reported, and the old file stays.
    playlist._directoryPrefix = std::string("/m\xff/");
    {
        platform::ScopedConsoleCapture console;
        playlist.save(url);
        EXPECT_EQ(console.lines(), std::vector<std::string>{"can't save " + url.absoluteString()});
    }
    EXPECT_TRUE(playlist.dirty);
    EXPECT_EQ(platform::readFile(url.path()).value(), before);
    playlist._directoryPrefix.reset();

    // A read-only folder: the old document stays as it was. Root ignores permissions, so the
    // save is made by an unprivileged child process.
    playlist.currentTime = 99;
    ASSERT_EQ(::chmod(folder.path.c_str(), 0555), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        platform::ScopedConsoleCapture console;
        playlist.save(url);
        ::_exit(playlist.dirty && console.lines().size() == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(folder.path.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(platform::readFile(url.path()).value(), before);
}

TEST(PlaylistDocument, InsertingMovesAnEntryInsteadOfDuplicatingIt) {
    SessionTempFolder media;
    Playlist playlist;
    platform::Url a = writeSilentWav(media.url("a.wav"), 1);
    platform::Url b = writeSilentWav(media.url("b.wav"), 1);
    platform::Url c = writeSilentWav(media.url("c.wav"), 1);
    playlist.insertEntry(a);
    playlist.insertEntry(b);
    playlist.insertEntry(c);
    EXPECT_TRUE(playlist.dirty);
    EXPECT_EQ(fileNames(playlist.allEntries), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));

    auto original = playlist.allEntries[2];
    original->zeros = {5};
    playlist.insertEntry(c, playlist.allEntries[0]);
    EXPECT_EQ(fileNames(playlist.allEntries), (std::vector<std::string>{"c.wav", "a.wav", "b.wav"}));
    EXPECT_EQ(playlist.allEntries[0], original); // the same entry, with its history

    // Before itself: it goes to the end.
    playlist.insertEntry(c, documentTestEntry(c.absoluteString()));
    EXPECT_EQ(fileNames(playlist.allEntries), (std::vector<std::string>{"a.wav", "b.wav", "c.wav"}));
    // An anchor that is not listed: the end too.
    playlist.insertEntry(a, documentTestEntry("file:///elsewhere.wav"));
    EXPECT_EQ(fileNames(playlist.allEntries), (std::vector<std::string>{"b.wav", "c.wav", "a.wav"}));

    playlist.dirty = false;
    ASSERT_TRUE(platform::writeFileAtomically(media.path + "/text.mp3", std::string_view("no audio")));
    playlist.insertEntry(media.url("text.mp3"));
    playlist.insertEntry(media.url("missing.wav"));
    EXPECT_EQ(playlist.allEntries.size(), 3u);
    EXPECT_FALSE(playlist.dirty);
}

TEST(PlaylistDocument, SortsAreStableUndoableStepsThatSelectRowZero) {
    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    playlist.allEntries = {documentTestEntry("file:///z/b.mp3"), documentTestEntry("file:///a/c.mp3"),
                           documentTestEntry("file:///y/a.mp3"), documentTestEntry("file:///x/b.mp3")};
    playlist.allEntries[1]->isCheckmarked = true;
    playlist.allEntries[3]->isCheckmarked = true;
    const Playlist::EntryList original = playlist.allEntries;
    app.window.selection = {2, 3};

    playlist.sortEntries(Playlist::titleOrder);
    EXPECT_EQ(fileNames(playlist.allEntries), (std::vector<std::string>{"a.mp3", "b.mp3", "b.mp3", "c.mp3"}));
    // Equal names keep their order.
    EXPECT_EQ(playlist.allEntries[1], original[0]);
    EXPECT_EQ(playlist.allEntries[2], original[3]);
    EXPECT_EQ(app.window.selection, RowIndexes{0});
    EXPECT_EQ(playlist.assignedEntry, playlist.allEntries[0]);
    EXPECT_TRUE(playlist.dirty);
    EXPECT_EQ(app.undoItem.title, "Undo sort");

    playlist.undoer.undo();
    EXPECT_EQ(playlist.allEntries, original);
    EXPECT_EQ(app.window.selection, (RowIndexes{2, 3}));
    EXPECT_EQ(playlist.assignedEntry, original[2]); // the lowest earlier row
    EXPECT_EQ(app.redoItem.title, "Redo sort");

    playlist.sortEntries(Playlist::directoryOrder);
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{original[1], original[3], original[2], original[0]}));

    app.window.selection = {};
    playlist.allEntries = original;
    playlist.sortByCheckmark();
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{original[1], original[3], original[0], original[2]}));
    EXPECT_EQ(app.undoItem.title, "Undo sort by checkmark");
    std::size_t loadsBefore = app.window.loadedEntries.size();
    playlist.undoer.undo();
    EXPECT_EQ(playlist.allEntries, original);
    EXPECT_EQ(app.window.loadedEntries.size(), loadsBefore); // empty earlier selection: nothing loaded

    // While an entry plays and stays listed, a sort does not load another one.
    playlist.assignedEntry = original[3];
    app.window.playing = original[3];
    playlist.sortEntries(Playlist::titleOrder);
    EXPECT_EQ(playlist.assignedEntry, original[3]);
}

TEST(PlaylistDocument, AgeOrderPutsNeverPlayedFirstThenTheLongestAgo) {
    platform::FakeClock clock(platform::Date{1000000});
    auto recent = documentTestEntry("file:///m/recent.mp3");
    auto old = documentTestEntry("file:///m/old.mp3");
    auto never = documentTestEntry("file:///m/never.mp3");
    recent->playedDates = {platform::Date{999000}};
    old->playedDates = {platform::Date{10}};
    Playlist::EntryOrder order = Playlist::ageOrder(clock);
    EXPECT_TRUE(order(*never, *old));
    EXPECT_FALSE(order(*old, *never));
    EXPECT_TRUE(order(*old, *recent));
    EXPECT_FALSE(order(*recent, *old));
    EXPECT_FALSE(order(*never, *never));
}

TEST(PlaylistDocument, DirectoryPrefixFallsBackToTheUserSetting) {
    SessionTempFolder defaults;
    platform::UserDefaults::setStandardFolder(defaults.path);
    Playlist playlist;
    EXPECT_EQ(playlist.directoryPrefix(), "");
    platform::UserDefaults::standard().setString("directoryPrefix", "/Users/me/Music/");
    EXPECT_EQ(playlist.directoryPrefix(), "/Users/me/Music/");
    playlist._directoryPrefix = "/srv/";
    EXPECT_EQ(playlist.directoryPrefix(), "/srv/");
    platform::UserDefaults::standard().setString("directoryPrefix", "/other/");
    EXPECT_EQ(playlist.directoryPrefix(), "/srv/");
    platform::UserDefaults::standard().removeObject("directoryPrefix");
}

TEST(PlaylistFilter, WordsTagsAndRows) {
    Playlist playlist;
    auto song = documentTestEntry("file:///m/My%20Song.mp3", "a");
    auto dance = documentTestEntry("file:///m/Dance.mp3", "ab");
    auto other = documentTestEntry("file:///m/Other.m4a");
    playlist.allEntries = {song, dance, other};
    playlist.assignedEntry = dance;

    playlist.filterText = "  SONG  ";
    EXPECT_EQ(playlist.filterWords(), (std::vector<std::string>{"", "", "song", "", ""}));
    EXPECT_EQ(playlist.filteredEntries(), Playlist::EntryList{song});
    EXPECT_FALSE(playlist.currentRow()); // hidden, still current
    EXPECT_EQ(playlist.assignedEntry, dance);
    EXPECT_EQ(playlist.row(song), 0u);
    EXPECT_FALSE(playlist.row(nullptr));
    EXPECT_EQ(playlist.visibleEntry(0), song);
    EXPECT_FALSE(playlist.visibleEntry(1));
    EXPECT_FALSE(playlist.visibleEntry(-1));

    playlist.filterText = "";
    EXPECT_EQ(playlist.filterWords(), std::vector<std::string>{""});
    EXPECT_EQ(playlist.currentRow(), 1u);
    EXPECT_EQ(playlist.visibleEntry(2), other);
    EXPECT_FALSE(playlist.visibleEntry(3));
    EXPECT_EQ(playlist.row(documentTestEntry("file:///m/Other.m4a")), 2u); // by file
    EXPECT_FALSE(playlist.row(documentTestEntry("file:///m/unknown.mp3")));

    playlist.cycleTagFilter("b-side");
    EXPECT_EQ(playlist.includeTags, TagSet{"b"});
    EXPECT_EQ(playlist.filteredEntries(), Playlist::EntryList{dance});
    EXPECT_EQ(playlist.currentRow(), 0u);
    playlist.cycleTagFilter("b");
    EXPECT_TRUE(playlist.includeTags.empty());
    EXPECT_EQ(playlist.excludeTags, TagSet{"b"});
    EXPECT_EQ(playlist.filteredEntries(), (Playlist::EntryList{song, other}));
    playlist.cycleTagFilter("b");
    EXPECT_TRUE(playlist.includeTags.empty() && playlist.excludeTags.empty());
    playlist.cycleTagFilter("");
    EXPECT_TRUE(playlist.includeTags.empty() && playlist.excludeTags.empty());

    playlist.toggleExcludeTag("a");
    playlist.toggleIncludeTag("a");
    EXPECT_EQ(playlist.includeTags, TagSet{"a"});
    EXPECT_TRUE(playlist.excludeTags.empty());
    playlist.toggleIncludeTag("a");
    EXPECT_TRUE(playlist.includeTags.empty() && playlist.excludeTags.empty());
    playlist.toggleIncludeTag("b");
    playlist.toggleExcludeTag("b");
    EXPECT_TRUE(playlist.includeTags.empty());
    EXPECT_EQ(playlist.excludeTags, TagSet{"b"});
    playlist.toggleExcludeTag("b");
    EXPECT_TRUE(playlist.excludeTags.empty());

    // Filtering is a view: it neither dirties the document nor records a step.
    EXPECT_FALSE(playlist.dirty);
    EXPECT_TRUE(playlist.undoer.undoStack().empty());
}
