#include "Source/session/DecodableDefault.h"

#include <gtest/gtest.h>

#include <string>
#include <unordered_set>
#include <vector>

using platform::PlistDictionary;
using platform::PlistValue;
using vantle::DecodableDefault;

namespace {

struct SpeedSource {
    using Value = double;
    static constexpr double defaultValue = 1.25;
};

struct GreetingSource {
    using Value = std::string;
    static inline const std::string defaultValue = "hello";
};

struct ListSource {
    using Value = std::vector<int>;
    static inline const std::vector<int> defaultValue{1, 2};
};

struct DefaultsRecord {
    DecodableDefault::Wrapper<SpeedSource> speed;
    DecodableDefault::Wrapper<GreetingSource> greeting;
    DecodableDefault::Wrapper<ListSource> list;

    void encode(platform::KeyedEncoder& e) const {
        e.encode("speed", speed);
        e.encode("greeting", greeting);
        e.encode("list", list);
    }
    static DefaultsRecord decode(const platform::KeyedDecoder& d) {
        return {d.decode<DecodableDefault::Wrapper<SpeedSource>>("speed"),
                d.decode<DecodableDefault::Wrapper<GreetingSource>>("greeting"),
                d.decode<DecodableDefault::Wrapper<ListSource>>("list")};
    }
};

} // namespace

TEST(DecodableDefault, StartsFromTheSourceDefaultAndIsStoredAsTheBareValue) {
    DefaultsRecord record;
    EXPECT_EQ(record.list.wrappedValue, (std::vector<int>{1, 2}));
    record.speed.wrappedValue = 0.5;
    record.list.wrappedValue = {};
    auto tree = platform::encodePlistValue(record);
    ASSERT_TRUE(tree);
    EXPECT_EQ(*tree, PlistValue(PlistDictionary{
                         {"speed", 0.5}, {"greeting", "hello"}, {"list", PlistValue::Array{}}}));

    auto back = platform::decodePlistValue<DefaultsRecord>(*tree);
    ASSERT_TRUE(back);
    EXPECT_EQ(platform::encodePlistValue(*back).value(), *tree);

    // No fall-back for a missing key, and a value of the wrong kind fails as it would unwrapped.
    EXPECT_FALSE(platform::decodePlistValue<DefaultsRecord>(
        PlistDictionary{{"greeting", "x"}, {"list", PlistValue::Array{}}}));
    EXPECT_FALSE(platform::decodePlistValue<DefaultsRecord>(
        PlistDictionary{{"speed", "fast"}, {"greeting", "x"}, {"list", PlistValue::Array{}}}));
}

TEST(DecodableDefault, EqualityAndHashingFollowTheValue) {
    DecodableDefault::Wrapper<GreetingSource> a, b(std::string("hello")), c(std::string("bye"));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    std::hash<DecodableDefault::Wrapper<GreetingSource>> hash;
    EXPECT_EQ(hash(a), hash(b));
    std::unordered_set<DecodableDefault::Wrapper<GreetingSource>> set{a, b, c};
    EXPECT_EQ(set.size(), 2u);
}
