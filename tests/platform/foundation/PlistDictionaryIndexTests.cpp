#include "platform/foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace {

std::string indexTestKey(int i) {
    return "key " + std::to_string(i);
}

} // namespace

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
