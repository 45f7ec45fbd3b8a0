#include <gtest/gtest.h>

#include <string>

#include "platform/foundation/Text.h"

// A search that retries a long run at every start position gives up on it rather than stalling the
// program; the same search written to run in linear time finds its match in the same text, and
// short texts backtrack as much as they need.
TEST(TextSearchBound, BacktrackingIsBoundedByTheTextsLength) {
    const std::string longRun = std::string(100000, '7') + " 1:00 late";
    EXPECT_FALSE(platform::firstMatch(R"((\d+):(\d\d))", longRun));
    const auto linear = platform::firstMatch(R"((?<!\d)(\d++):(\d\d))", longRun);
    ASSERT_TRUE(linear);
    EXPECT_EQ(linear->groups[0].text, "1:00");

    const auto shortRun = platform::firstMatch(R"((\d+):(\d\d))", std::string(400, '7') + " 1:00");
    ASSERT_TRUE(shortRun);
    EXPECT_EQ(shortRun->groups[0].text, "1:00");
}
