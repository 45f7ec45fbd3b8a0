#include "Source/session/Playlist.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/UserDefaults.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/Clocks.h"
#include "tests/support/ConsoleCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace vantle;
using namespace vantle::testing;
using Keys = std::vector<std::string>;

namespace {

platform::PlistValue savedTree(const std::string& path) {
    return platform::parsePlist(platform::readFile(path).value()).value();
}

platform::Result<std::shared_ptr<Playlist>> decodeDocument(const platform::PlistDictionary& document) {
    return platform::decodePlist<std::shared_ptr<Playlist>>(platform::serializeBinaryPlist(document).value());
}

} // namespace

TEST(PlaylistDocument, NewDocumentSavesThreeKeysAsABinaryList) {
    SessionTempFolder folder;
    Playlist playlist;
    playlist.dirty = true;
    playlist.save(folder.url("Dance Night.vantle"));
    EXPECT_FALSE(playlist.dirty);
    platform::Bytes bytes = platform::readFile(folder.path + "/Dance Night.vantle").value();
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00");
    platform::PlistValue tree = platform::parsePlist(bytes).value();
    EXPECT_EQ(dictionaryKeys(tree), (Keys{"playlist", "currentItem", "currentTime"}));
    // -1 is a signed integer, not a real and not a huge unsigned value.
    EXPECT_EQ(tree.find("currentItem")->asInteger(), -1);
}

TEST(PlaylistDocument, ReadingNeedsPlaylistAndTimeAndKnownAgeUnits) {
    platform::PlistDictionary full{{"playlist", platform::PlistArray{entryRecord("file:///m/a.mp3")}},
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
    EXPECT_EQ(playlist.currentTime, 12.5);
    EXPECT_EQ(playlist._ageUnits, AgeUnits::weeks);
    EXPECT_EQ(playlist._directoryPrefix, "/m/");
    EXPECT_FALSE(playlist.dirty);

    auto without = [&](const char* key, std::optional<platform::PlistValue> value = {}) {
        platform::PlistDictionary changed = full;
        if (value)
            changed.set(key, *value);
        else
            changed.remove(key);
        return decodeDocument(changed).ok();
    };
    EXPECT_FALSE(without("ageUnits", platform::PlistValue("years")));
    EXPECT_FALSE(without("ageUnits", platform::PlistValue("Weeks")));
    EXPECT_FALSE(without("playlist"));
    EXPECT_FALSE(without("currentTime"));
    EXPECT_FALSE(without("currentTime", platform::PlistValue("noon")));
    EXPECT_FALSE(
        without("playlist", platform::PlistArray{platform::PlistDictionary{{"_url", "file:///m/a.mp3"}}}));
}

TEST(PlaylistDocument, SettingsComeBackOnlyWhenTheyWereThere) {
    SessionTempFolder folder;
    decodeDocument({{"playlist", platform::PlistArray{}}, {"currentTime", 0.0}})
        .value()
        ->save(folder.url("bare"));
    EXPECT_EQ(dictionaryKeys(savedTree(folder.path + "/bare")),
              (Keys{"playlist", "currentItem", "currentTime"}));

    platform::PlistDictionary settings{{"playlist", platform::PlistArray{}},
                                       {"currentTime", 3.0},
                                       {"ageUnits", "weeks"},
                                       {"automaticallyMoveToHistory", true},
                                       {"directoryPrefix", "/music/"}};
    decodeDocument(settings).value()->save(folder.url("settings"));
    platform::PlistValue tree = savedTree(folder.path + "/settings");
    EXPECT_EQ(dictionaryKeys(tree), (Keys{"playlist", "currentItem", "currentTime", "ageUnits",
                                          "automaticallyMoveToHistory", "directoryPrefix"}));
    EXPECT_EQ(*tree.find("ageUnits"), platform::PlistValue("weeks"));
    EXPECT_EQ(*tree.find("directoryPrefix"), platform::PlistValue("/music/"));
}

TEST(PlaylistDocument, CurrentEntrySurvivesSavingAndOutOfRangeIndexesMeanNone) {
    SessionTempFolder folder;
    Playlist playlist;
    playlist.allEntries = {decodedEntry("file:///m/a.mp3"), decodedEntry("file:///m/b.mp3")};
    playlist.allEntries[0]->currentTimeRangeSet = heardSpans({{1, 2}});
    playlist.assignedEntry = playlist.allEntries[0];
    playlist.save(folder.url("s.vantle"));

    auto reopened = Playlist::read(folder.url("s.vantle")).value();
    reopened->prepareAfterLoad();
    EXPECT_EQ(reopened->assignedEntry, reopened->allEntries[0]);
    // Every entry starts a new listening.
    for (const auto& entry : reopened->allEntries)
        EXPECT_TRUE(entry->currentTimeRangeSet && entry->currentTimeRangeSet->ranges.empty());

    // A current entry that is no longer listed saves as -1, which opens with none current.
    playlist.assignedEntry = decodedEntry("file:///m/gone.mp3");
    playlist.save(folder.url("s.vantle"));
    EXPECT_EQ(savedTree(folder.path + "/s.vantle").find("currentItem")->asInteger(), -1);

    for (std::int64_t index : {-1, 2, 1000000}) {
        auto beyond = decodeDocument({{"playlist", platform::PlistArray{entryRecord("file:///m/a.mp3"),
                                                                        entryRecord("file:///m/b.mp3")}},
                                      {"currentItem", index},
                                      {"currentTime", 0.0}})
                          .value();
        beyond->prepareAfterLoad();
        EXPECT_FALSE(beyond->assignedEntry) << index;
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
    auto third = Playlist::read(folder.url("again.vantle")).value();
    third->prepareAfterLoad();
    EXPECT_EQ(third->assignedEntry, third->allEntries[1]);
    third->save(folder.url("third.vantle"));
    EXPECT_EQ(platform::readFile(folder.path + "/third.vantle").value(),
              platform::readFile(folder.path + "/again.vantle").value());

    // Not a document at all: an error, not a crash.
    ASSERT_TRUE(platform::writeFileAtomically(folder.path + "/text.vantle", std::string_view("hello")));
    EXPECT_FALSE(Playlist::read(folder.url("text.vantle")).ok());
    EXPECT_FALSE(Playlist::read(folder.url("missing.vantle")).ok());
}

TEST(PlaylistDocument, FailedSaveKeepsTheOldFileAndTheDirtyFlag) {
    SessionTempFolder folder;
    Playlist playlist;
    platform::Url url = folder.url("doc.vantle");
    playlist.save(url);
    const platform::Bytes before = platform::readFile(url.path()).value();
    // The console and the result give the system's reason.
    auto failedSave = [&](const platform::Url& to, const std::string& reason) {
        playlist.dirty = true;
        testsupport::ScopedConsoleCapture console;
        const Playlist::SaveResult result = playlist.save(to);
        EXPECT_EQ(console.lines(), Keys{"can't save " + to.absoluteString() + ": " + reason});
        EXPECT_TRUE(result.status == Playlist::SaveResult::Status::failed && result.reason == reason);
        EXPECT_TRUE(playlist.dirty);
    };

    // A folder in the way: even root cannot replace it with a file.
    ASSERT_TRUE(platform::createDirectory(folder.path + "/blocked.vantle/inside"));
    failedSave(folder.url("blocked.vantle"), "is a directory");
    EXPECT_TRUE(platform::isDirectory(folder.path + "/blocked.vantle/inside"));

    // A prefix that is not UTF-8 cannot be stored: reported, and the old file stays.
    playlist._directoryPrefix = std::string("/m\xff/");
    failedSave(url, "string is not valid UTF-8");
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
        testsupport::ScopedConsoleCapture console;
        const Playlist::SaveResult result = playlist.save(url);
        ::_exit(playlist.dirty && result.reason == "permission denied" &&
                        console.lines() == Keys{"can't save " + url.absoluteString() + ": permission denied"}
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(folder.path.c_str(), 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(platform::readFile(url.path()).value(), before);
}

TEST(PlaylistDocument, InsertingMovesAnEntryInsteadOfDuplicatingIt) {
    SessionTempFolder media;
    Playlist playlist;
    std::vector<platform::Url> urls;
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        playlist.insertEntry(urls.emplace_back(writeSilentWav(media.url(name), 1)));
    EXPECT_TRUE(playlist.dirty);
    EXPECT_EQ(fileNames(playlist.allEntries), (Keys{"a.wav", "b.wav", "c.wav"}));

    auto original = playlist.allEntries[2];
    playlist.insertEntry(urls[2], playlist.allEntries[0]);
    EXPECT_EQ(fileNames(playlist.allEntries), (Keys{"c.wav", "a.wav", "b.wav"}));
    EXPECT_EQ(playlist.allEntries[0], original); // the same entry, with its history

    // Before itself, or before an entry that is not listed: to the end.
    playlist.insertEntry(urls[2], decodedEntry(urls[2].absoluteString()));
    EXPECT_EQ(fileNames(playlist.allEntries), (Keys{"a.wav", "b.wav", "c.wav"}));
    playlist.insertEntry(urls[0], decodedEntry("file:///elsewhere.wav"));
    EXPECT_EQ(fileNames(playlist.allEntries), (Keys{"b.wav", "c.wav", "a.wav"}));

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
    playlist.allEntries = {decodedEntry("file:///z/b.mp3"), decodedEntry("file:///a/c.mp3"),
                           decodedEntry("file:///y/a.mp3"), decodedEntry("file:///x/b.mp3")};
    playlist.allEntries[1]->isCheckmarked = true;
    playlist.allEntries[3]->isCheckmarked = true;
    const Playlist::EntryList original = playlist.allEntries;
    app.window.selection = {2, 3};

    playlist.sortEntries(Playlist::titleOrder);
    // Equal names keep their order.
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{original[2], original[0], original[3], original[1]}));
    EXPECT_EQ(app.window.selection, RowIndexes{0});
    EXPECT_EQ(playlist.assignedEntry, playlist.allEntries[0]);
    EXPECT_EQ(app.undoItem.title, "Undo sort");

    playlist.undoer.undo();
    EXPECT_EQ(playlist.allEntries, original);
    EXPECT_EQ(app.window.selection, (RowIndexes{2, 3}));
    EXPECT_EQ(playlist.assignedEntry, original[2]); // the lowest earlier row

    playlist.sortEntries(Playlist::directoryOrder);
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{original[1], original[3], original[2], original[0]}));

    app.window.selection = {};
    playlist.allEntries = original;
    playlist.sortByCheckmark();
    EXPECT_EQ(playlist.allEntries, (Playlist::EntryList{original[1], original[3], original[0], original[2]}));
    EXPECT_EQ(app.undoItem.title, "Undo sort by checkmark");
    std::size_t loadsBefore = app.window.loadedEntries.size();
    playlist.undoer.undo();
    EXPECT_EQ(app.window.loadedEntries.size(), loadsBefore); // empty earlier selection: nothing loaded

    // While an entry plays and stays listed, a sort does not load another one.
    playlist.assignedEntry = original[3];
    app.window.playing = original[3];
    playlist.sortEntries(Playlist::titleOrder);
    EXPECT_EQ(playlist.assignedEntry, original[3]);
}

// Each order is checked against the list as it stands, so the table can mark the column sorted by.
TEST(PlaylistDocument, ASortOfAListAlreadyInThatOrderChangesNothingAndIsNoStep) {
    ScopedFakeApp app;
    Playlist& playlist = *app.window.document;
    playlist.allEntries = {decodedEntry("file:///b/a.mp3"), decodedEntry("file:///a/b.mp3"),
                           decodedEntry("file:///c/c.mp3")};
    playlist.allEntries[0]->isCheckmarked = true;
    const Playlist::EntryList original = playlist.allEntries;
    const struct {
        const char* name;
        std::function<void()> sort;
        Playlist::EntryOrder order;
    } sorts[] = {
        {"title", [&] { playlist.sortEntries(Playlist::titleOrder); }, &Playlist::titleOrder},
        {"check mark", [&] { playlist.sortByCheckmark(); }, &Playlist::checkmarkOrder},
    };
    for (const auto& sort : sorts) {
        SCOPED_TRACE(sort.name);
        app.window.selection = {2};
        playlist.dirty = false;
        ASSERT_TRUE(playlist.isInOrder(sort.order));
        sort.sort();
        EXPECT_EQ(playlist.allEntries, original);
        EXPECT_TRUE(playlist.undoer.undoStack().empty());
        EXPECT_EQ(app.undoItem.title, "untouched") << "the Edit menu was not touched";
        EXPECT_EQ(app.window.selection, RowIndexes{2});
        EXPECT_FALSE(playlist.dirty);
    }
    EXPECT_FALSE(playlist.isInOrder(&Playlist::directoryOrder));
    playlist.sortEntries(Playlist::directoryOrder);
    EXPECT_TRUE(playlist.isInOrder(&Playlist::directoryOrder));
    EXPECT_FALSE(playlist.isInOrder(&Playlist::titleOrder));
    EXPECT_FALSE(playlist.isInOrder(&Playlist::checkmarkOrder));
    EXPECT_EQ(playlist.undoer.undoStack().size(), 1u);
}

TEST(PlaylistDocument, AgeOrderPutsNeverPlayedFirstThenTheLongestAgo) {
    testsupport::FakeClock clock(platform::Date{1000000});
    auto recent = decodedEntry("file:///m/recent.mp3");
    auto old = decodedEntry("file:///m/old.mp3");
    auto never = decodedEntry("file:///m/never.mp3");
    recent->playedDates = {platform::Date{999000}};
    old->playedDates = {platform::Date{10}};
    Playlist::EntryOrder order = Playlist::ageOrder(clock);
    EXPECT_TRUE(order(*never, *old) && !order(*old, *never));
    EXPECT_TRUE(order(*old, *recent) && !order(*recent, *old));
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
    platform::UserDefaults::standard().removeObject("directoryPrefix");
}

TEST(PlaylistFilter, WordsTagsAndRows) {
    Playlist playlist;
    auto song = decodedEntry("file:///m/My%20Song.mp3", {{"tags", "a"}});
    auto dance = decodedEntry("file:///m/Dance.mp3", {{"tags", "ab"}});
    auto other = decodedEntry("file:///m/Other.m4a");
    playlist.allEntries = {song, dance, other};
    playlist.assignedEntry = dance;

    playlist.filterText = "  SONG  ";
    EXPECT_EQ(playlist.filterWords(), (Keys{"", "", "song", "", ""}));
    EXPECT_EQ(playlist.filteredEntries(), Playlist::EntryList{song});
    EXPECT_FALSE(playlist.currentRow()); // hidden, still current
    EXPECT_EQ(playlist.visibleEntry(0), song);
    EXPECT_FALSE(playlist.visibleEntry(1));
    EXPECT_FALSE(playlist.visibleEntry(-1));

    playlist.filterText = "";
    EXPECT_EQ(playlist.currentRow(), 1u);
    EXPECT_EQ(playlist.row(decodedEntry("file:///m/Other.m4a")), 2u); // by file
    EXPECT_FALSE(playlist.row(decodedEntry("file:///m/unknown.mp3")));

    // A click on a tag cycles include, exclude, neither; the first letter is the tag.
    playlist.cycleTagFilter("b-side");
    EXPECT_EQ(playlist.includeTags, TagSet{"b"});
    EXPECT_EQ(playlist.filteredEntries(), Playlist::EntryList{dance});
    playlist.cycleTagFilter("b");
    EXPECT_TRUE(playlist.includeTags.empty());
    EXPECT_EQ(playlist.filteredEntries(), (Playlist::EntryList{song, other}));
    playlist.cycleTagFilter("b");
    playlist.cycleTagFilter("");
    EXPECT_TRUE(playlist.includeTags.empty() && playlist.excludeTags.empty());

    // A tag is in one of the two sets at most.
    playlist.toggleExcludeTag("a");
    playlist.toggleIncludeTag("a");
    EXPECT_EQ(playlist.includeTags, TagSet{"a"});
    EXPECT_TRUE(playlist.excludeTags.empty());
    playlist.toggleExcludeTag("a");
    EXPECT_TRUE(playlist.includeTags.empty());
    EXPECT_EQ(playlist.excludeTags, TagSet{"a"});

    // Filtering is a view: it neither dirties the document nor records a step.
    EXPECT_FALSE(playlist.dirty);
    EXPECT_TRUE(playlist.undoer.undoStack().empty());
}
