#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>

using namespace platform;

namespace {

Bytes plistBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes serialized(const PlistValue& value) {
    Result<Bytes> bytes = serializeBinaryPlist(value);
    EXPECT_TRUE(bytes.ok()) << (bytes.ok() ? "" : bytes.error().message);
    return bytes.ok() ? *bytes : Bytes{};
}

// Assembles a binary property list from raw object bytes, for inputs no writer would produce.
Bytes assembleBplist(const std::vector<Bytes>& objects, std::uint64_t top = 0, std::uint8_t refSize = 1) {
    Bytes out = plistBytes("bplist00");
    std::vector<std::uint64_t> offsets;
    for (const Bytes& object : objects) {
        offsets.push_back(out.size());
        out.insert(out.end(), object.begin(), object.end());
    }
    std::uint64_t table = out.size();
    for (std::uint64_t offset : offsets) {
        out.push_back(static_cast<std::uint8_t>(offset >> 8));
        out.push_back(static_cast<std::uint8_t>(offset));
    }
    out.insert(out.end(), 6, 0);
    out.push_back(2); // offsets are two bytes
    out.push_back(refSize);
    auto be64 = [&](std::uint64_t v) {
        for (int i = 7; i >= 0; --i)
            out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    be64(objects.size());
    be64(top);
    be64(table);
    return out;
}

PlistValue sampleDocument() {
    PlistArray ranges;
    for (int i = 0; i < 20; ++i)
        ranges.emplace_back(PlistDictionary{{"start", i * 1.5}, {"end", i * 1.5 + 1}});
    return PlistDictionary{
        {"zeta", -1},
        {"alpha", 0.0},
        {"mid", Date{786123456.789}},
        {"bookmark", Bytes(300, 0xA5)},
        {"emptyData", Bytes{}},
        {"text", "caf\xC3\xA9 \xE2\x98\x83 \xF0\x9F\x98\x80 and enough characters to need a long count"},
        {"flags", PlistArray{true, false, true}},
        {"integers",
         PlistArray{0, 255, 256, 65535, 65536, std::int64_t(1) << 32,
                    std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()}},
        {"negativeZero", -0.0},
        {"nested", PlistDictionary{{"ranges", ranges}, {"empty", PlistDictionary{}}, {"none", PlistArray{}}}},
    };
}

std::string indexTestKey(int i) {
    return "key " + std::to_string(i);
}

} // namespace

TEST(PropertyList, BinaryRoundTripKeepsTypesAndValuesExactly) {
    PlistValue document = sampleDocument();
    Bytes bytes = serialized(document);
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "bplist00");

    Result<PlistValue> back = parsePlist(bytes);
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(*back, document);

    // -1 is a signed integer, not 2^64 - 1 and not a real; 0.0 stays a real.
    EXPECT_EQ(back->find("zeta")->asInteger(), std::optional<std::int64_t>(-1));
    ASSERT_TRUE(back->find("alpha")->is(PlistValue::Type::real));
    EXPECT_FALSE(back->find("alpha")->asInteger().has_value());
    EXPECT_TRUE(std::signbit(*back->find("negativeZero")->asReal()));

    // The date comes back bit for bit.
    double stored = back->find("mid")->asDate()->timeIntervalSinceReferenceDate;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(stored), std::bit_cast<std::uint64_t>(786123456.789));
    EXPECT_EQ(*back->find("bookmark")->asData(), Bytes(300, 0xA5));
    EXPECT_EQ(*back->find("text")->asString(), *document.find("text")->asString());

    // Writing what was read gives the same bytes, and writing is deterministic.
    EXPECT_EQ(serialized(*back), bytes);
    EXPECT_EQ(serialized(sampleDocument()), bytes);
}

TEST(PropertyList, KeysAreWrittenInInsertionOrder) {
    PlistDictionary dict;
    dict.set("zeta", 1);
    dict.set("alpha", 2);
    dict.set("mid", 3);
    dict.set("zeta", 4); // replacing keeps the first place
    Result<PlistValue> back = parsePlist(serialized(dict));
    ASSERT_TRUE(back.ok());
    // Dictionaries compare their entries in order.
    EXPECT_EQ(*back, PlistValue(PlistDictionary{{"zeta", 4}, {"alpha", 2}, {"mid", 3}}));
}

TEST(PropertyList, WritesTheStandardLayout) {
    // {"a": 1, "b": [-1, "a"]}: dictionary, its keys, its values depth first; equal strings
    // stored once; -1 as an eight-byte integer; one-byte references and offsets.
    PlistValue value = PlistDictionary{{"a", 1}, {"b", PlistArray{-1, "a"}}};
    Bytes expected = plistBytes("bplist00");
    const Bytes rest = {
        0xD2, 0x01, 0x02, 0x03, 0x04,                                              // 0: dictionary
        0x51, 'a',                                                                 // 1: "a"
        0x51, 'b',                                                                 // 2: "b"
        0x10, 0x01,                                                                // 3: 1
        0xA2, 0x05, 0x01,                                                          // 4: [5, 1]
        0x13, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,                      // 5: -1
        8,    13,   15,   17,   19,   22,                                          // offset table
        0,    0,    0,    0,    0,    0,    1,    1,    0,    0, 0, 0, 0, 0, 0, 6, // trailer
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 31,
    };
    expected.insert(expected.end(), rest.begin(), rest.end());
    EXPECT_EQ(serialized(value), expected);
}

TEST(PropertyList, ReadsXml) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>zeta</key><integer>-1</integer>
	<key>alpha</key><real>2.5</real>
	<key>when</key><date>2025-11-29T15:37:36Z</date>
	<key>blob</key><data>AAEC/w==</data>
	<key>name</key><string>caf&#233; &amp; more</string>
	<key>on</key><true/>
	<key>list</key><array><integer>3</integer><dict><key>k</key><false/></dict></array>
</dict>
</plist>
)";
    Result<PlistValue> value = parsePlist(plistBytes(xml));
    ASSERT_TRUE(value.ok()) << value.error().message;
    PlistValue expected = PlistDictionary{
        {"zeta", -1},
        {"alpha", 2.5},
        {"when", Date{786123456}},
        {"blob", Bytes{0, 1, 2, 255}},
        {"name", "caf\xC3\xA9 & more"},
        {"on", true},
        {"list", PlistArray{3, PlistDictionary{{"k", false}}}},
    };
    EXPECT_EQ(*value, expected);

    EXPECT_FALSE(parsePlist(plistBytes("<plist><dict><key>a</key></plist>")).ok());
    EXPECT_FALSE(parsePlist(plistBytes("<html>not a plist</html>")).ok());
}

TEST(PropertyList, BadInputGivesErrorsNotCrashes) {
    EXPECT_FALSE(parsePlist(Bytes{}).ok());
    EXPECT_FALSE(parsePlist(plistBytes("hello, world")).ok());
    EXPECT_FALSE(parsePlist(plistBytes("bplist00")).ok());
    Bytes valid = serialized(sampleDocument());
    Bytes otherVersion = valid;
    otherVersion[7] = '1';
    EXPECT_FALSE(parsePlist(otherVersion).ok());

    // Every truncation fails.
    for (std::size_t length = 0; length < valid.size(); ++length) {
        Bytes cut(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_FALSE(parsePlist(cut).ok()) << "length " << length;
    }

    // Flipped bytes either fail or give a value that can be written again.
    std::mt19937 random(1234);
    for (int round = 0; round < 3000; ++round) {
        Bytes damaged = valid;
        int flips = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < flips; ++i)
            damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
        Result<PlistValue> value = parsePlist(damaged);
        if (value.ok()) {
            EXPECT_TRUE(serializeBinaryPlist(*value).ok());
        }
    }

    // The same for XML, which goes through libplist.
    std::string xml =
        "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a</key><array><integer>-5</integer>"
        "<string>x</string><data>AAE=</data><date>2001-01-01T00:00:00Z</date></array></dict></plist>";
    for (std::size_t length = 0; length < xml.size(); ++length)
        (void)parsePlist(plistBytes(xml.substr(0, length)));
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = xml;
        damaged[random() % damaged.size()] = static_cast<char>(random());
        Result<PlistValue> value = parsePlist(plistBytes(damaged));
        if (value.ok()) {
            EXPECT_TRUE(serializeBinaryPlist(*value).ok());
        }
    }
}

TEST(PropertyList, HostileBinaryStructuresAreRefused) {
    // An array that contains itself, directly and through another array.
    EXPECT_FALSE(parsePlist(assembleBplist({{0xA1, 0x00}})).ok());
    EXPECT_FALSE(parsePlist(assembleBplist({{0xA1, 0x01}, {0xA1, 0x00}})).ok());
    // A reference past the last object, a top object past the end.
    EXPECT_FALSE(parsePlist(assembleBplist({{0xA1, 0x05}})).ok());
    EXPECT_FALSE(parsePlist(assembleBplist({{0x09}}, 3)).ok());
    // An offset that points into the trailer.
    Bytes badOffset = assembleBplist({{0x09}});
    badOffset[badOffset.size() - 32 - 1] = 0xF0;
    EXPECT_FALSE(parsePlist(badOffset).ok());
    // A string claiming 2^62 bytes.
    EXPECT_FALSE(parsePlist(assembleBplist({{0x5F, 0x13, 0x40, 0, 0, 0, 0, 0, 0, 0, 'a'}})).ok());
    // A dictionary key that is not a string.
    EXPECT_FALSE(parsePlist(assembleBplist({{0xD1, 0x01, 0x01}, {0x10, 0x07}})).ok());
    // A sixteen-byte integer beyond the signed range; one inside it reads.
    Bytes huge = {0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(parsePlist(assembleBplist({huge})).ok());
    Bytes small = {0x14, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 42};
    EXPECT_EQ(parsePlist(assembleBplist({small}))->asInteger(), std::optional<std::int64_t>(42));

    // Arrays that each hold the next one twice unfold into 2^60 values: refused, quickly.
    std::vector<Bytes> laughs;
    for (std::uint8_t i = 0; i < 60; ++i)
        laughs.push_back({0xA2, static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(i + 1)});
    laughs.push_back({0x09});
    EXPECT_FALSE(parsePlist(assembleBplist(laughs)).ok());

    // Nesting: a hundred levels read, a thousand are refused.
    auto nested = [](int depth) {
        std::vector<Bytes> objects;
        for (int i = 0; i < depth; ++i)
            objects.push_back({0xA1, 0, 0});
        for (int i = 0; i < depth; ++i) {
            objects[i][1] = static_cast<std::uint8_t>((i + 1) >> 8);
            objects[i][2] = static_cast<std::uint8_t>(i + 1);
        }
        objects.push_back({0x08});
        return assembleBplist(objects, 0, 2);
    };
    EXPECT_TRUE(parsePlist(nested(100)).ok());
    EXPECT_FALSE(parsePlist(nested(1000)).ok());
}

TEST(PropertyList, ReadsWhatOtherWritersProduce) {
    // A four-byte real, Latin-1 bytes in an ASCII string, a lone UTF-16 surrogate, a repeated key.
    Result<PlistValue> value = parsePlist(assembleBplist({
        {0xD4, 1, 2, 3, 1, 4, 5, 6, 7},
        {0x51, 'k'},
        {0x51, 'f'},
        {0x51, 's'},
        {0x10, 0x01},
        {0x22, 0x3F, 0xC0, 0x00, 0x00}, // 1.5f
        {0x52, 'A', 0xE9},              // "Aé" in Latin-1
        {0x62, 0xD8, 0x00, 0x00, 0x41}, // lone high surrogate, "A"
    }));
    ASSERT_TRUE(value.ok()) << value.error().message;
    EXPECT_EQ(*value, PlistValue(PlistDictionary{{"k", "\uFFFDA"}, {"f", 1.5}, {"s", "A\u00E9"}}));
}

TEST(PropertyList, DictionaryBuildingAndInvalidText) {
    std::vector<PlistDictionary::Entry> entries;
    for (int i = 0; i < 40; ++i)
        entries.emplace_back("k" + std::to_string(i % 30), i);
    PlistDictionary large(std::move(entries));
    ASSERT_EQ(large.size(), 30u);
    EXPECT_EQ(large.entries().front().first, "k0");
    EXPECT_EQ(large.find("k0")->asInteger(), std::optional<std::int64_t>(30));
    EXPECT_EQ(large.find("k29")->asInteger(), std::optional<std::int64_t>(29));
    EXPECT_TRUE(large.remove("k0"));
    EXPECT_FALSE(large.contains("k0"));

    EXPECT_FALSE(serializeBinaryPlist(PlistValue("bad \xC3 text")).ok());
    EXPECT_FALSE(serializeBinaryPlist(PlistValue("\xED\xA0\x80")).ok()); // an encoded surrogate
    EXPECT_FALSE(serializeBinaryPlist(PlistDictionary{{"\xFF", 1}}).ok());
}

// Work is counted as key comparisons: a scan of every key per look-up would make a hundred
// thousand of them five billion.
TEST(PlistDictionaryIndex, BuildingAndReadingManyKeysIsLinearAndKeepsTheirOrder) {
    constexpr int keys = 100000;
    const std::uint64_t before = plistKeyComparisons();
    PlistDictionary dictionary;
    for (int i = 0; i < keys; ++i)
        dictionary.set(indexTestKey(i), i);
    for (int i = 0; i < keys; i += 2)
        dictionary.set(indexTestKey(i), -i); // a repeated key keeps its place and takes the value
    for (int i = 0; i < keys; ++i)
        ASSERT_EQ(dictionary.find(indexTestKey(i))->asInteger(), i % 2 ? i : -i);
    EXPECT_FALSE(dictionary.contains("key -1"));
    EXPECT_LT(plistKeyComparisons() - before, 8u * keys);
    ASSERT_EQ(dictionary.size(), std::size_t(keys));
    for (int i = 0; i < keys; ++i)
        ASSERT_EQ(dictionary.entries()[i].first, indexTestKey(i));

    // Removing keeps the order and the look-ups of the rest.
    EXPECT_TRUE(dictionary.remove(indexTestKey(1)));
    EXPECT_FALSE(dictionary.remove(indexTestKey(1)));
    EXPECT_EQ(dictionary.entries()[1].first, indexTestKey(2));
    EXPECT_EQ(dictionary.find(indexTestKey(99999))->asInteger(), 99999);

    // Both readers: an XML document of 40,000 keys and its binary form.
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>";
    for (int i = 0; i < 40000; ++i)
        xml += "<key>" + indexTestKey(i) + "</key><integer>" + std::to_string(i) + "</integer>";
    xml += "</dict></plist>";
    const std::uint64_t beforeXml = plistKeyComparisons();
    const Result<PlistValue> read = parsePlist(reinterpret_cast<const std::uint8_t*>(xml.data()), xml.size());
    ASSERT_TRUE(read.ok());
    const Result<Bytes> binary = serializeBinaryPlist(*read);
    ASSERT_TRUE(binary.ok());
    const Result<PlistValue> again = parsePlist(*binary);
    ASSERT_TRUE(again.ok());
    EXPECT_LT(plistKeyComparisons() - beforeXml, 8u * 40000 * 2);
    EXPECT_EQ(*again, *read);
    ASSERT_EQ(read->asDictionary()->size(), 40000u);
    EXPECT_EQ(read->asDictionary()->entries()[39999].first, indexTestKey(39999));
    EXPECT_EQ(read->find(indexTestKey(12345))->asInteger(), 12345);
}
