#include "platform/foundation/KeyedCoding.h"

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <stdexcept>
#include <tuple>

using namespace platform;

namespace kctest {

enum class AgeUnits { months, weeks, days, hours };

const char* const ageUnitNames[] = {"months", "weeks", "days", "hours"};

std::string rawValue(AgeUnits units) {
    return ageUnitNames[int(units)];
}

std::optional<AgeUnits> fromRawValue(std::type_identity<AgeUnits>, const std::string& text) {
    for (int i = 0; i < 4; ++i)
        if (text == ageUnitNames[i]) return AgeUnits(i);
    return std::nullopt;
}

enum class Level { low = 1, high = 2 };

int rawValue(Level level) {
    return static_cast<int>(level);
}

std::optional<Level> fromRawValue(std::type_identity<Level>, int raw) {
    if (raw == 1 || raw == 2) return static_cast<Level>(raw);
    return std::nullopt;
}

struct TimeRange {
    double start = 0;
    double end = 0;

    void encode(KeyedEncoder& e) const {
        e.encode("start", start);
        e.encode("end", end);
    }
    static TimeRange decode(const KeyedDecoder& d) {
        return {d.decode<double>("start"), d.decode<double>("end")};
    }
    bool operator==(const TimeRange&) const = default;
};

struct TimeRangeSet {
    std::vector<TimeRange> ranges;

    void encode(KeyedEncoder& e) const { e.encode("ranges", ranges); }
    static TimeRangeSet decode(const KeyedDecoder& d) { return {d.decode<std::vector<TimeRange>>("ranges")}; }
};

struct Attachment {
    std::string url;
    std::string tag;

    void encode(KeyedEncoder& e) const {
        e.encode("url", url);
        e.encode("tag", tag);
    }
    static Attachment decode(const KeyedDecoder& d) {
        return {d.decode<std::string>("url"), d.decode<std::string>("tag")};
    }
};

// A reference type without copies, decoded through its constructor.
struct Entry {
    std::string url;
    std::shared_ptr<TimeRangeSet> current;
    std::shared_ptr<TimeRangeSet> prev = std::make_shared<TimeRangeSet>();
    std::vector<double> zeros;
    std::vector<Date> playedDates;
    std::optional<Bytes> bookmark;
    std::optional<double> cachedDuration;
    std::vector<Attachment> attachments;
    bool checked = false;
    std::optional<std::string> tags;

    explicit Entry(std::string u) : url(std::move(u)) {}
    Entry(const Entry&) = delete;
    explicit Entry(const KeyedDecoder& d)
        : url(d.decode<std::string>("_url")),
          prev(d.decode<std::shared_ptr<TimeRangeSet>>("prevTimeRangeSet")) {
        current = d.tryDecode<std::shared_ptr<TimeRangeSet>>("currentTimeRangeSet").value_or(nullptr);
        zeros = d.decode("zeros", std::vector<double>{});
        playedDates = d.decode("playedDates", std::vector<Date>{});
        bookmark = d.tryDecode<Bytes>("storedBookmark");
        cachedDuration = d.tryDecode<double>("_cachedDuration");
        attachments = d.decode("sideDocuments", std::vector<Attachment>{});
        checked = d.decode("isCheckmarked", false);
        tags = d.tryDecode<std::string>("tags");
    }

    void encode(KeyedEncoder& e) const {
        e.encode("_url", url);
        e.encode("prevTimeRangeSet", prev);
        e.encodeIfPresent("currentTimeRangeSet", current);
        e.encode("zeros", zeros);
        e.encode("playedDates", playedDates);
        e.encodeIfPresent("storedBookmark", bookmark);
        e.encodeIfPresent("_cachedDuration", cachedDuration);
        e.encode("sideDocuments", attachments);
        e.encode("isCheckmarked", checked);
        e.encodeIfPresent("tags", tags);
    }
};

struct Document {
    std::vector<std::shared_ptr<Entry>> entries;
    double currentTime = 0;
    std::optional<int> currentItem;
    std::optional<AgeUnits> ageUnits;
    std::optional<bool> autoMove;

    void encode(KeyedEncoder& e) const {
        e.encode("playlist", entries);
        e.encodeIfPresent("currentItem", currentItem);
        e.encode("currentTime", currentTime);
        e.encodeIfPresent("ageUnits", ageUnits);
        e.encodeIfPresent("automaticallyMoveToHistory", autoMove);
    }
    static Document decode(const KeyedDecoder& d) {
        Document doc;
        doc.entries = d.decode<std::vector<std::shared_ptr<Entry>>>("playlist");
        doc.currentItem = d.decodeIfPresent<int>("currentItem");
        doc.currentTime = d.decode<double>("currentTime");
        doc.ageUnits = d.decodeIfPresent<AgeUnits>("ageUnits");
        doc.autoMove = d.decodeIfPresent<bool>("automaticallyMoveToHistory");
        return doc;
    }
};

struct Failing {
    void encode(KeyedEncoder&) const {}
    static Failing decode(const KeyedDecoder&) { throw std::runtime_error("not today"); }
};

} // namespace kctest

using namespace kctest;

namespace {

std::vector<std::string> keysOf(const PlistValue& value) {
    std::vector<std::string> keys;
    for (const auto& entry : *value.asDictionary())
        keys.push_back(entry.first);
    return keys;
}

PlistDictionary& entryIn(PlistValue& document, std::size_t index) {
    return *(*document.asDictionary()->find("playlist")->asArray())[index].asDictionary();
}

std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const DecodingError& error) {
        return error.what();
    }
    return "no error";
}

Document fullDocument() {
    Document doc;
    auto first = std::make_shared<Entry>("file:///music/a.mp3");
    first->prev->ranges = {{0, 10}, {12.5, 20}};
    first->current = std::make_shared<TimeRangeSet>(TimeRangeSet{{{3, 4}}});
    first->zeros = {1.25, 7};
    first->playedDates = {Date{786123456.789}, Date{-1.5}};
    first->bookmark = Bytes{0, 1, 2, 0xFF};
    first->cachedDuration = 215.04;
    first->attachments = {{"file:///music/a.pdf", "pdf"}};
    first->checked = true;
    first->tags = "ab";
    doc.entries.push_back(first);
    doc.entries.push_back(std::make_shared<Entry>("file:///music/b.mp4"));
    doc.currentTime = 12.75;
    doc.currentItem = 0;
    doc.ageUnits = AgeUnits::weeks;
    doc.autoMove = false;
    return doc;
}

} // namespace

TEST(KeyedCoding, WritesKeysInOrderAndOnlyPresentOptionals) {
    Entry fresh("file:///x.mp3");
    PlistValue tree = encodePlistValue(fresh).value();
    EXPECT_EQ(keysOf(tree), (std::vector<std::string>{"_url", "prevTimeRangeSet", "zeros", "playedDates",
                                                      "sideDocuments", "isCheckmarked"}));
    EXPECT_EQ(*tree.find("prevTimeRangeSet"), PlistValue(PlistDictionary{{"ranges", PlistArray{}}}));

    Document empty;
    EXPECT_EQ(keysOf(encodePlistValue(empty).value()), (std::vector<std::string>{"playlist", "currentTime"}));
    PlistValue full = encodePlistValue(fullDocument()).value();
    EXPECT_EQ(keysOf(full), (std::vector<std::string>{"playlist", "currentItem", "currentTime", "ageUnits",
                                                      "automaticallyMoveToHistory"}));
    EXPECT_EQ(*full.find("ageUnits"), PlistValue("weeks"));
    EXPECT_TRUE(full.find("currentTime")->is(PlistValue::Type::real));
    EXPECT_TRUE(full.find("currentItem")->is(PlistValue::Type::integer));
}

TEST(KeyedCoding, DocumentRoundTripsThroughBytes) {
    Result<Bytes> bytes = encodePlist(fullDocument());
    ASSERT_TRUE(bytes.ok()) << bytes.error().message;
    Result<Document> back = decodePlist<Document>(*bytes);
    ASSERT_TRUE(back.ok()) << back.error().message;

    ASSERT_EQ(back->entries.size(), 2u);
    const Entry& first = *back->entries[0];
    EXPECT_EQ(first.url, "file:///music/a.mp3");
    EXPECT_EQ(first.prev->ranges, (std::vector<TimeRange>{{0, 10}, {12.5, 20}}));
    ASSERT_TRUE(first.current);
    EXPECT_EQ(first.current->ranges, (std::vector<TimeRange>{{3, 4}}));
    ASSERT_EQ(first.playedDates.size(), 2u);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(first.playedDates[0].timeIntervalSinceReferenceDate),
              std::bit_cast<std::uint64_t>(786123456.789));
    ASSERT_EQ(first.attachments.size(), 1u);
    EXPECT_EQ(std::tuple(first.zeros, first.bookmark, first.cachedDuration, first.attachments[0].tag,
                         first.checked, first.tags),
              std::tuple(std::vector<double>{1.25, 7}, Bytes{0, 1, 2, 0xFF}, 215.04, "pdf", true, "ab"));
    const Entry& second = *back->entries[1];
    EXPECT_FALSE(second.current || second.tags || second.bookmark);
    EXPECT_EQ(std::tuple(back->currentItem, back->currentTime, back->ageUnits, back->autoMove),
              std::tuple(0, 12.75, AgeUnits::weeks, false));

    EXPECT_EQ(encodePlist(*back).value(), *bytes);
}

TEST(KeyedCoding, RequiredStrictAndLenientReads) {
    PlistDictionary dict{{"good", 5}, {"wrong", "text"}};
    KeyedDecoder d(dict);

    // Required.
    EXPECT_EQ(d.decode<int>("good"), 5);
    EXPECT_EQ(errorOf([&] { d.decode<int>("missing"); }), "missing: missing key");
    EXPECT_EQ(errorOf([&] { d.decode<int>("wrong"); }), "wrong: expected number, found string");

    // Optional, strict.
    EXPECT_EQ(d.decodeIfPresent<int>("good"), 5);
    EXPECT_EQ(d.decodeIfPresent<int>("missing"), std::nullopt);
    EXPECT_EQ(errorOf([&] { d.decodeIfPresent<int>("wrong"); }), "wrong: expected number, found string");

    // Lenient, with a default and as an optional.
    EXPECT_EQ(d.decode("good", 7), 5);
    EXPECT_EQ(d.decode("missing", 7), 7);
    EXPECT_EQ(d.decode("wrong", 7), 7);
    EXPECT_EQ(d.decode("wrong", "fallback"), "text");
    EXPECT_EQ(d.decode("good", "fallback"), "fallback");
    EXPECT_EQ(d.tryDecode<int>("good"), 5);
    EXPECT_EQ(d.tryDecode<int>("missing"), std::nullopt);
    EXPECT_EQ(d.tryDecode<int>("wrong"), std::nullopt);

    EXPECT_TRUE(d.contains("wrong"));
    EXPECT_FALSE(d.contains("missing"));
    EXPECT_EQ(d.allKeys(), (std::vector<std::string>{"good", "wrong"}));
}

TEST(KeyedCoding, NumbersConvertLikeThePlatformDecoder) {
    PlistDictionary dict{{"int", 3},   {"whole", 2.0}, {"half", 2.5},  {"flag", true},
                         {"big", 300}, {"neg", -1},    {"huge", 1e300}};
    KeyedDecoder d(dict);
    EXPECT_EQ(d.decode<double>("int"), 3.0);
    EXPECT_EQ(d.decode<int>("whole"), 2);
    EXPECT_EQ(d.decode<float>("half"), 2.5f);
    EXPECT_EQ(errorOf([&] { d.decode<int>("half"); }), "half: number 2.5 does not fit an integer");
    EXPECT_EQ(errorOf([&] { d.decode<bool>("int"); }), "int: expected boolean, found integer");
    EXPECT_EQ(errorOf([&] { d.decode<int>("flag"); }), "flag: expected number, found boolean");
    EXPECT_EQ(errorOf([&] { d.decode<double>("flag"); }), "flag: expected number, found boolean");
    EXPECT_EQ(errorOf([&] { d.decode<std::int8_t>("big"); }), "big: number does not fit the integer type");
    EXPECT_EQ(errorOf([&] { d.decode<std::uint32_t>("neg"); }), "neg: number does not fit the integer type");
    EXPECT_NE(errorOf([&] { d.decode<std::int64_t>("huge"); }), "no error");
    EXPECT_NE(errorOf([&] { d.decode<float>("huge"); }), "no error");
    EXPECT_EQ(d.decode<std::uint64_t>("big"), 300u);

    // An unsigned value the format cannot hold is an encoding error, reported as a result.
    Result<Bytes> tooBig = encodePlist(std::vector<std::uint64_t>{1, ~0ull});
    ASSERT_FALSE(tooBig.ok());
    EXPECT_EQ(tooBig.error().domain, codingErrorDomain);
}

TEST(KeyedCoding, BadValuesInsideRecordsAndLists) {
    PlistValue tree = encodePlistValue(fullDocument()).value();
    PlistDictionary& root = *tree.asDictionary();

    // Lenient fields of an entry fall back on their own; the entry still decodes.
    PlistValue lenient = tree;
    PlistDictionary& badEntry = entryIn(lenient, 0);
    badEntry.set("zeros", "not a list");
    badEntry.set("tags", 42);
    (*badEntry.find("sideDocuments")->asArray())
        .push_back(PlistDictionary{{"url", "file:///b.txt"}}); // no tag
    Result<Document> doc = decodePlistValue<Document>(lenient);
    ASSERT_TRUE(doc.ok()) << doc.error().message;
    EXPECT_TRUE(doc->entries[0]->zeros.empty());
    EXPECT_FALSE(doc->entries[0]->tags);
    // One bad element makes the whole lenient list take its default, as the platform's `try?` does.
    EXPECT_TRUE(doc->entries[0]->attachments.empty());
    EXPECT_TRUE(doc->entries[0]->checked);

    // Read strictly, the same list fails and names the element.
    KeyedDecoder entryDecoder(badEntry);
    EXPECT_EQ(errorOf([&] { entryDecoder.decode<std::vector<Attachment>>("sideDocuments"); }),
              "sideDocuments[1].tag: missing key");

    // Required keys of a nested record fail the document, with the path in the error.
    PlistValue missingUrl = tree;
    entryIn(missingUrl, 1).remove("_url");
    Result<Document> failed = decodePlistValue<Document>(missingUrl);
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().message, "playlist[1]._url: missing key");

    PlistValue badRange = tree;
    entryIn(badRange, 0)
        .set("prevTimeRangeSet", PlistDictionary{{"ranges", PlistArray{PlistDictionary{{"start", 1}}}}});
    EXPECT_EQ(decodePlistValue<Document>(badRange).error().message,
              "playlist[0].prevTimeRangeSet.ranges[0].end: missing key");

    // An enum text outside its cases fails the whole read even though the key is optional.
    root.set("ageUnits", "years");
    EXPECT_EQ(decodePlistValue<Document>(tree).error().message, "ageUnits: invalid value \"years\"");
    root.remove("ageUnits");
    entryIn(tree, 0).remove("prevTimeRangeSet");
    EXPECT_EQ(decodePlistValue<Document>(tree).error().message, "playlist[0].prevTimeRangeSet: missing key");

    // Enums with integer raw values.
    PlistDictionary levels{{"a", 2}, {"b", 5}};
    KeyedDecoder ld(levels);
    EXPECT_EQ(ld.decode<Level>("a"), Level::high);
    EXPECT_EQ(errorOf([&] { ld.decode<Level>("b"); }), "b: invalid value 5");
    EXPECT_EQ(ld.decode("b", Level::low), Level::low);
}

TEST(KeyedCoding, NestedContainersByHand) {
    PlistDictionary out;
    KeyedEncoder e(out);
    e.nestedContainer("outer", [](KeyedEncoder& inner) {
        inner.encode("name", "x");
        inner.nestedUnkeyedContainer("items", [](UnkeyedEncoder& list) {
            list.encode(1);
            list.encode("two");
            list.nestedContainer([](KeyedEncoder& item) { item.encode("three", 3.0); });
            list.nestedUnkeyedContainer([](UnkeyedEncoder& deeper) { deeper.encode(true); });
        });
    });
    e.encode("after", std::map<std::string, int>{{"b", 2}, {"a", 1}});
    EXPECT_EQ(keysOf(out), (std::vector<std::string>{"outer", "after"}));

    Bytes bytes = encodePlist(PlistValue(out)).value();
    PlistDictionary read = decodePlist<PlistDictionary>(bytes).value();
    KeyedDecoder d(read);
    KeyedDecoder outer = d.nestedContainer("outer");
    EXPECT_EQ(outer.decode<std::string>("name"), "x");
    UnkeyedDecoder items = outer.nestedUnkeyedContainer("items");
    EXPECT_EQ(items.count(), 4u);
    EXPECT_EQ(items.decode<int>(), 1);
    EXPECT_EQ(errorOf([&] { items.decode<int>(); }), "outer.items[1]: expected number, found string");
    EXPECT_EQ(items.currentIndex(), 1u); // a failed read does not advance
    EXPECT_EQ(items.decode<std::string>(), "two");
    EXPECT_EQ(items.nestedContainer().decode<double>("three"), 3.0);
    UnkeyedDecoder deeper = items.nestedUnkeyedContainer();
    EXPECT_TRUE(deeper.decode<bool>());
    EXPECT_TRUE(items.isAtEnd());
    EXPECT_EQ(errorOf([&] { items.decode<int>(); }), "outer.items[4]: no more elements");
    EXPECT_EQ(errorOf([&] { d.nestedContainer("after").nestedUnkeyedContainer("a"); }),
              "after.a: expected array, found integer");
    using Counts = std::map<std::string, int>;
    EXPECT_EQ(d.decode<Counts>("after"), (Counts{{"a", 1}, {"b", 2}}));
}

TEST(KeyedCoding, EntryPointsReportEveryFailureAsAResult) {
    EXPECT_FALSE(decodePlist<Document>(Bytes{'n', 'o', 'p', 'e'}).ok());
    EXPECT_EQ(decodePlist<Document>(encodePlist(std::vector<int>{1}).value()).error().message,
              "expected dictionary, found array");
    EXPECT_EQ(decodePlist<Failing>(encodePlist(Failing{}).value()).error().message, "not today");

    // A null reference in a required field cannot be written.
    Entry broken("file:///x.mp3");
    broken.prev = nullptr;
    Result<Bytes> bytes = encodePlist(broken);
    ASSERT_FALSE(bytes.ok());
    EXPECT_EQ(bytes.error().message, "null reference");
}
