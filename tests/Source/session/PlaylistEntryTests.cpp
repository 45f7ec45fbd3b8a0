#include "Source/session/Bookmark.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/PropertyList.h"
#include "tests/Source/session/SessionFakes.h"
#include "tests/support/ConsoleCapture.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

using namespace vantle;
using namespace vantle::testing;

namespace {

std::vector<std::string> entryKeys(const PlaylistEntry& entry) {
    return dictionaryKeys(platform::encodePlistValue(entry).value());
}

platform::Result<std::shared_ptr<PlaylistEntry>> decodeEntry(const platform::PlistDictionary& record) {
    return platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(platform::PlistValue(record));
}

} // namespace

TEST(PlaylistEntry, CreationFromAFileNumbersEntriesAndAttachesVideos) {
    SessionTempFolder folder;
    auto a = PlaylistEntry::make(writeSilentWav(folder.url("a.mp3"), 2.5));
    auto b = PlaylistEntry::make(writeSilentWav(folder.url("b.mp4"), 1));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b->id, a->id + 1);
    EXPECT_EQ(a->_cachedDuration, 2.5);
    EXPECT_TRUE(a->attachments.empty());
    ASSERT_EQ(b->attachments.size(), 1u);
    EXPECT_EQ(b->attachments[0]->tag, "mp4");
    EXPECT_EQ(b->attachments[0]->url, b->_url);

    auto upper = PlaylistEntry::make(writeSilentWav(folder.url("c.MP4"), 1));
    ASSERT_TRUE(upper);
    EXPECT_TRUE(upper->attachments.empty());

    // A file that cannot be read yields nothing and uses no id.
    EXPECT_EQ(PlaylistEntry::make(folder.url("missing.mp3")), nullptr);
    auto d = PlaylistEntry::make(writeSilentWav(folder.url("d.wav"), 1));
    ASSERT_TRUE(d);
    EXPECT_EQ(d->id, upper->id + 1);
}

TEST(PlaylistEntry, EncodesItsKeysInOrderAndOptionalOnesOnlyWhenPresent) {
    SessionTempFolder folder;
    auto entry = PlaylistEntry::make(writeSilentWav(folder.url("a.wav"), 1));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entryKeys(*entry), (std::vector<std::string>{
                                     "_url", "prevTimeRangeSet", "zeros", "playedDates", "_cachedDuration",
                                     "sideDocuments", "isCheckmarked", "inHistory", "playedSinceHistory"}));
    platform::PlistValue tree = platform::encodePlistValue(*entry).value();
    EXPECT_EQ(*tree.find("_url"),
              platform::PlistValue(platform::PlistDictionary{{"relative", entry->_url.absoluteString()}}));

    // A listening that covers nothing is no listening to store.
    entry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    entry->currentTimeRangeSet->ranges = {{4, 4}};
    EXPECT_EQ(entryKeys(*entry).size(), 9u);
    entry->currentTimeRangeSet->ranges = {{4, 5}};
    entry->storedBookmark = platform::Bytes{1, 2, 3};
    entry->tags = "ab";
    EXPECT_EQ(entryKeys(*entry),
              (std::vector<std::string>{"_url", "prevTimeRangeSet", "currentTimeRangeSet", "zeros",
                                        "playedDates", "storedBookmark", "_cachedDuration", "sideDocuments",
                                        "isCheckmarked", "inHistory", "playedSinceHistory", "tags"}));
}

TEST(PlaylistEntry, DecodingIsLenientExceptForUrlAndPreviousSpans) {
    auto minimal = decodeEntry(entryRecord("file:///m/a.mp3"));
    ASSERT_TRUE(minimal.ok()) << minimal.error().message;
    const PlaylistEntry& entry = **minimal;
    EXPECT_EQ(entry._url.path(), "/m/a.mp3");
    EXPECT_FALSE(entry.currentTimeRangeSet || entry._cachedDuration || entry.tags || entry.isCheckmarked);

    platform::PlistDictionary noPrevious{{"_url", "file:///m/a.mp3"}};
    EXPECT_FALSE(decodeEntry(noPrevious).ok());
    platform::PlistDictionary noUrl{
        {"prevTimeRangeSet", platform::PlistDictionary{{"ranges", platform::PlistArray{}}}}};
    EXPECT_FALSE(decodeEntry(noUrl).ok());

    platform::PlistDictionary odd = entryRecord("file:///m/a.mp3");
    odd.set("zeros", "not a list");
    odd.set("tags", 42);
    odd.set("isCheckmarked", "yes");
    odd.set("_cachedDuration", "long");
    odd.set("currentTimeRangeSet", platform::PlistDictionary{});
    odd.set("playedDates", platform::PlistArray{platform::Date{10}, "yesterday"});
    odd.set("sideDocuments",
            platform::PlistArray{platform::PlistDictionary{{"url", "file:///m/score.pdf"}, {"tag", "pdf"}},
                                 platform::PlistDictionary{{"tag", "no url"}},
                                 platform::PlistDictionary{{"url", "file:///m/clip.mp4"}, {"tag", "mp4"}}});
    odd.set("inHistory", true);
    odd.set("playedSinceHistory", true);
    odd.set("somethingNew", 1);
    auto lenient = decodeEntry(odd);
    ASSERT_TRUE(lenient.ok()) << lenient.error().message;
    EXPECT_TRUE((*lenient)->zeros.empty() && (*lenient)->playedDates.empty());
    EXPECT_FALSE((*lenient)->tags || (*lenient)->isCheckmarked || (*lenient)->_cachedDuration ||
                 (*lenient)->currentTimeRangeSet);
    // One malformed side document drops only itself.
    ASSERT_EQ((*lenient)->attachments.size(), 2u);
    EXPECT_EQ((*lenient)->attachments[1]->url.path(), "/m/clip.mp4");

    // The flags only the file uses come back as they were.
    platform::PlistValue again = platform::encodePlistValue(**lenient).value();
    EXPECT_EQ(*again.find("inHistory"), platform::PlistValue(true));
    EXPECT_EQ(*again.find("playedSinceHistory"), platform::PlistValue(true));
}

// The singer's key: stored after every key an older reader knows (which passes over it), only when the
// song is not in its own key; read back as written, and held to the player's range when written oddly.
TEST(PlaylistEntry, TheKeyShiftIsKeptUnderItsOwnKey) {
    auto decoded = decodeEntry(entryRecord("file:///m/a.mp3"));
    ASSERT_TRUE(decoded.ok());
    PlaylistEntry& entry = **decoded;
    EXPECT_EQ(entry.keyShift, 0) << "an older document opens in the song's own key";
    EXPECT_FALSE(platform::encodePlistValue(entry).value().find("keyShift"));

    entry.keyShift = -3;
    const platform::PlistValue tree = platform::encodePlistValue(entry).value();
    EXPECT_EQ(dictionaryKeys(tree).back(), "keyShift");
    EXPECT_EQ(*tree.find("keyShift"), platform::PlistValue(std::int64_t(-3)));
    auto again = platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(tree);
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->keyShift, -3);

    for (auto [written, read] : {std::pair{platform::PlistValue(std::int64_t(9)), 6},
                                 {platform::PlistValue(std::int64_t(-40)), -6},
                                 {platform::PlistValue(2.0), 2},
                                 {platform::PlistValue(1e300), 6},
                                 {platform::PlistValue(-1e300), -6},
                                 {platform::PlistValue("up"), 0},
                                 {platform::PlistValue(std::nan("")), 0}}) {
        platform::PlistDictionary record = entryRecord("file:///m/a.mp3");
        record.set("keyShift", written);
        auto odd = decodeEntry(record);
        ASSERT_TRUE(odd.ok()) << odd.error().message;
        EXPECT_EQ((*odd)->keyShift, read);
    }
}

// A song archive's audio name is kept with it, so that its row shows the song's title as soon as the
// session opens; an entry of a plain file stores none.
TEST(PlaylistEntry, ASongArchiveKeepsItsAudioName) {
    auto plain = decodeEntry(entryRecord("file:///m/a.mp3"));
    ASSERT_TRUE(plain.ok());
    EXPECT_FALSE(platform::encodePlistValue(**plain).value().find("archivedAudio"));

    auto zipped = decodeEntry(entryRecord("file:///m/Song.zip"));
    ASSERT_TRUE(zipped.ok());
    (*zipped)->archivedAudio = "Song Inside.mp3";
    auto again = platform::decodePlistValue<std::shared_ptr<PlaylistEntry>>(
        platform::encodePlistValue(**zipped).value());
    ASSERT_TRUE(again.ok());
    EXPECT_EQ((*again)->titleFileName(), "Song Inside.mp3");
}

// A song found at a new place leaves its old notes file behind: a note typed there that cannot be written
// any more (its folder went with the song) is printed, never only dropped.
TEST(PlaylistEntry, ANoteThatCannotBeWrittenBeforeARelocationIsPrinted) {
    SessionTempFolder folder;
    std::filesystem::create_directory(folder.path + "/old");
    auto entry = PlaylistEntry::make(writeSilentWav(folder.url("old/song.mp3"), 1));
    ASSERT_TRUE(entry);
    TextNoteSet& notes = entry->noteSet();
    const std::string oldNotes = notes.textURL().path();
    notes.notes.push_back(std::make_shared<TextNote>(40, "turn at the wall"));
    notes.altered = true;
    const platform::Url moved = writeSilentWav(folder.url("song.mp3"), 1);
    std::filesystem::remove_all(folder.path + "/old");

    testsupport::ScopedConsoleCapture console;
    entry->relocate(moved);
    const std::vector<std::string> lines = console.lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.rfind("not written to " + oldNotes + ": ", 0) == 0 &&
               line.find(" turn at the wall") != std::string::npos;
    })) << "the note was dropped without a word";
}

TEST(PlaylistEntry, EqualityIsTheFileAndIdsAreFresh) {
    auto a = decodeEntry(entryRecord("file:///m/a.mp3")).value();
    auto b = decodeEntry(entryRecord("file:///m/a.mp3")).value();
    auto c = decodeEntry(entryRecord("file:///m/c.mp3")).value();
    b->tags = "x";
    b->zeros = {1, 2};
    EXPECT_NE(a->id, b->id);
    EXPECT_TRUE(*a == *b);
    EXPECT_FALSE(*a == *c);
}

TEST(PlaylistEntry, DurationIsMeasuredOnceAndRetriedWhileUnreadable) {
    SessionTempFolder folder;
    platform::PlistDictionary record = entryRecord(folder.url("late.wav").absoluteString());
    auto entry = decodeEntry(record).value();
    EXPECT_FALSE(entry->duration());
    writeSilentWav(folder.url("late.wav"), 3);
    EXPECT_EQ(entry->duration(), 3.0);
    // Cached: the file is not read again.
    ASSERT_TRUE(platform::removeItem(folder.path + "/late.wav"));
    EXPECT_DOUBLE_EQ(entry->duration().value_or(0), 3.0);
}

// A length measured while the file holds less than its header states (still being written) is shown but
// not stored; measured again once the file is whole, it is.
TEST(PlaylistEntry, ALengthMeasuredWhileTheFileIsWrittenIsNotStored) {
    SessionTempFolder folder;
    const platform::Url url = writeSilentWav(folder.url("recording.wav"), 8);
    const platform::Bytes whole = platform::readFile(url.path()).value();
    ASSERT_TRUE(platform::writeFileAtomically(url.path(), whole.data(), whole.size() / 4));
    const struct {
        const char* how;
        std::function<std::shared_ptr<PlaylistEntry>()> make;
    } cases[] = {
        {"added", [&] { return PlaylistEntry::make(url); }},
        {"measured later",
         [&] {
             auto entry = decodeEntry(entryRecord(url.absoluteString())).value();
             (void)entry->duration();
             return entry;
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        auto entry = c.make();
        ASSERT_TRUE(entry);
        EXPECT_NEAR(entry->duration().value_or(0), 2.0, 0.05);
        EXPECT_TRUE(entry->durationIsProvisional);
        const std::vector<std::string> keys = entryKeys(*entry);
        EXPECT_EQ(std::count(keys.begin(), keys.end(), "_cachedDuration"), 0);
    }
    ASSERT_TRUE(platform::writeFileAtomically(url.path(), whole));
    auto entry = PlaylistEntry::make(url);
    EXPECT_FALSE(entry->durationIsProvisional);
    EXPECT_EQ(entryKeys(*entry)[4], "_cachedDuration");
}

TEST(Bookmark, ResolvesThePathOrTheRenamedFile) {
    SessionTempFolder folder;
    platform::Url song = writeSilentWav(folder.url("song.wav"), 1);
    std::optional<platform::Bytes> bookmark = makeBookmark(song);
    ASSERT_TRUE(bookmark);
    EXPECT_EQ(resolveBookmark(*bookmark), song);

    std::filesystem::rename(folder.path + "/song.wav", folder.path + "/renamed.wav");
    EXPECT_EQ(resolveBookmark(*bookmark), folder.url("renamed.wav"));

    ASSERT_TRUE(platform::removeItem(folder.path + "/renamed.wav"));
    EXPECT_FALSE(resolveBookmark(*bookmark));
    EXPECT_FALSE(makeBookmark(folder.url("none.wav")));
    EXPECT_FALSE(resolveBookmark(platform::Bytes{'b', 'p', 'l', 'i', 's', 't'}));
}

// A path holding a NUL byte names no file, whether or not the path cut at the NUL exists and
// whether or not the folder holds a file with the recorded device and inode.
TEST(BookmarkHostile, APathWithANulByteResolvesToNothing) {
    SessionTempFolder folder;
    writeSilentWav(folder.url("a"), 0.1);
    struct stat info {};
    ASSERT_EQ(::stat((folder.path + "/a").c_str(), &info), 0);
    const auto device = static_cast<std::int64_t>(info.st_dev);
    const auto inode = static_cast<std::int64_t>(info.st_ino);
    struct Case {
        std::string path;
        std::int64_t device, inode;
    };
    for (const Case& bad : {Case{folder.path + std::string("/a\0b.mp3", 8), 1, 2},
                            Case{folder.path + std::string("/a\0b.mp3", 8), device, inode},
                            Case{folder.path + std::string("/gone\0b.mp3", 11), device, inode}}) {
        const auto bytes = platform::serializeBinaryPlist(
            platform::PlistDictionary{{"path", bad.path}, {"device", bad.device}, {"inode", bad.inode}});
        ASSERT_TRUE(bytes.ok());
        const std::optional<platform::Url> resolved = resolveBookmark(*bytes);
        EXPECT_FALSE(resolved) << "\"" << resolved->absoluteString() << "\" for " << bad.device;
    }
}

using platform::PlistDictionary;
using platform::PlistValue;
using platform::Url;

namespace {

// A file address as the documents store one.
struct UrlHolder {
    Url url;
    void encode(platform::KeyedEncoder& e) const { e.encode("url", url); }
    static UrlHolder decode(const platform::KeyedDecoder& d) { return {d.decode<Url>("url")}; }
};

} // namespace

TEST(UrlCoding, WritesTheRelativeDictionaryAndReadsBothForms) {
    Url url = Url::fileURLWithPath("/music/a b.mp3", false);
    auto tree = platform::encodePlistValue(UrlHolder{url});
    ASSERT_TRUE(tree);
    EXPECT_EQ(*tree->find("url"), PlistValue(PlistDictionary{{"relative", "file:///music/a%20b.mp3"}}));
    for (const PlistValue& stored : {*tree, PlistValue(PlistDictionary{{"url", "file:///music/a%20b.mp3"}})})
        EXPECT_EQ(platform::decodePlistValue<UrlHolder>(stored).value().url, url);
}

TEST(UrlCoding, RejectsWhatIsNotAFileUrl) {
    for (const PlistValue& bad :
         {PlistValue("http://example.com/a.mp3"), PlistValue("relative/a.mp3"), PlistValue(""), PlistValue(3),
          PlistValue(PlistDictionary{}), PlistValue(PlistDictionary{{"relative", 5}}),
          PlistValue(PlistDictionary{{"relative", "https://x/y"}})}) {
        auto result = platform::decodePlistValue<UrlHolder>(PlistValue(PlistDictionary{{"url", bad}}));
        EXPECT_FALSE(result);
    }
    EXPECT_FALSE(platform::encodePlistValue(UrlHolder{Url()}));
}
