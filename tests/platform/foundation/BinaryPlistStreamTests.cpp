#include "platform/foundation/KeyedCoding.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include <limits>
#include <memory>

using namespace platform;

namespace {

// libplist's reading of binary bytes, as XML text.
std::string libplistXml(const Bytes& bytes) {
    plist_t root = nullptr;
    plist_from_bin(reinterpret_cast<const char*>(bytes.data()), std::uint32_t(bytes.size()), &root);
    if (!root) return "unreadable";
    char* xml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    std::string text(xml, length);
    plist_to_xml_free(xml);
    plist_free(root);
    return text;
}

// A binary property list from raw objects (two-byte offsets, one-byte references).
Bytes streamBplist(const std::vector<Bytes>& objects, std::uint8_t top = 0) {
    Bytes out{'b', 'p', 'l', 'i', 's', 't', '0', '0'};
    std::vector<std::size_t> offsets;
    for (const Bytes& object : objects) {
        offsets.push_back(out.size());
        out.insert(out.end(), object.begin(), object.end());
    }
    const std::size_t table = out.size();
    for (std::size_t offset : offsets)
        out.insert(out.end(), {std::uint8_t(offset >> 8), std::uint8_t(offset)});
    out.insert(out.end(), {0, 0, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 0, 0, 0, std::uint8_t(objects.size())});
    out.insert(out.end(),
               {0, 0, 0, 0, 0, 0, 0, top, 0, 0, 0, 0, 0, 0, std::uint8_t(table >> 8), std::uint8_t(table)});
    return out;
}

struct Twice {
    void encode(KeyedEncoder& e) const {
        e.encode("a", 1);
        e.encode("b", 2);
        e.encode("a", 3);
    }
};

struct Keys {
    std::int64_t k = 0;
    std::vector<std::string> all;
    static Keys decode(const KeyedDecoder& d) { return {d.decode<std::int64_t>("k"), d.allKeys()}; }
};

// A record that holds records of its own kind, for documents that nest or share without end.
struct Node {
    std::vector<std::shared_ptr<Node>> kids;
    void encode(KeyedEncoder& e) const { e.encode("k", kids); }
    static Node decode(const KeyedDecoder& d) { return {d.decode<std::vector<std::shared_ptr<Node>>>("k")}; }
};

} // namespace

TEST(BinaryPlistStream, StreamedDocumentsReadTheSameInOurReaderAndInLibplist) {
    PlistArray many;
    for (int i = 0; i < 300; ++i)
        many.emplace_back(
            PlistDictionary{{"start", i * 1.5}, {"end", PlistArray{i, "x" + std::to_string(i)}}});
    const PlistValue tree = PlistDictionary{
        {"integers", PlistArray{0, 255, 65536, std::numeric_limits<std::int64_t>::min(), -1}},
        {"text", "caf\xC3\xA9 \xF0\x9F\x98\x80 and enough characters to need a long count"},
        {"flags", PlistArray{true, false, true}},
        {"when", Date{786123456.789}},
        {"data", Bytes(300, 0xA5)},
        {"empty", PlistDictionary{{"none", PlistArray{}}, {"nothing", PlistDictionary{}}}},
        {"many", many},
    };
    const Bytes streamed = encodePlist(tree).value();
    EXPECT_EQ(parsePlist(streamed).value(), tree);
    EXPECT_EQ(decodePlist<PlistValue>(streamed).value(), tree);
    const std::string seenByLibplist = libplistXml(streamed);
    EXPECT_NE(seenByLibplist.find("<key>many</key>"), std::string::npos);
    EXPECT_EQ(seenByLibplist, libplistXml(serializeBinaryPlist(tree).value()));

    // A key written twice keeps its first place and its last value, as in a tree.
    EXPECT_EQ(parsePlist(encodePlist(Twice{}).value()).value(),
              PlistValue(PlistDictionary{{"a", 3}, {"b", 2}}));
    EXPECT_FALSE(encodePlist(PlistValue("bad \xC3 text")).ok());
}

TEST(BinaryPlistStream, ReadingInPlaceKeepsTheTreeReadersRulesForHostileInput) {
    // {"k": 1, "f": 2, "k": 3}: the last value of a repeated key, its first place.
    const Bytes repeated =
        streamBplist({{0xD3, 1, 2, 1, 3, 4, 5}, {0x51, 'k'}, {0x51, 'f'}, {0x10, 1}, {0x10, 2}, {0x10, 3}});
    const Keys keys = decodePlist<Keys>(repeated).value();
    EXPECT_EQ(keys.k, 3);
    EXPECT_EQ(keys.all, (std::vector<std::string>{"k", "f"}));

    // Sixty records that each hold the next one twice, and one that holds itself: refused, quickly.
    std::vector<Bytes> laughs{{0x51, 'k'}};
    for (std::uint8_t i = 0; i < 60; ++i) {
        laughs.push_back({0xD1, 0, std::uint8_t(2 + 2 * i)});
        laughs.push_back({0xA2, std::uint8_t(3 + 2 * i), std::uint8_t(3 + 2 * i)});
    }
    laughs.push_back({0xD1, 0, 122});
    laughs.push_back({0xA0});
    EXPECT_FALSE(decodePlist<Node>(streamBplist(laughs, 1)).ok());
    EXPECT_FALSE(decodePlist<Node>(streamBplist({{0x51, 'k'}, {0xD1, 0, 2}, {0xA1, 1}}, 1)).ok());
    EXPECT_FALSE(decodePlist<std::vector<PlistValue>>(streamBplist({{0xA1, 0}})).ok());
}
