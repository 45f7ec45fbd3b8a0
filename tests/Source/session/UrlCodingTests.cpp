#include "Source/session/UrlCoding.h"

#include <gtest/gtest.h>

#include <vector>

using platform::PlistDictionary;
using platform::PlistValue;
using platform::Url;

namespace {

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

    // Round trip through the binary form too.
    auto bytes = platform::encodePlist(std::vector<Url>{url, Url::fileURLWithPath("/x/ü.wav", false)});
    ASSERT_TRUE(bytes);
    auto urls = platform::decodePlist<std::vector<Url>>(*bytes);
    ASSERT_TRUE(urls);
    ASSERT_EQ(urls->size(), 2u);
    EXPECT_EQ((*urls)[1].path(), "/x/ü.wav");
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
