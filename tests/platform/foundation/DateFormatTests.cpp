#include "platform/foundation/DateFormat.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(DateFormat, TheLocalesStylesInTheProcesssTimeZone) {
    // The tests run with TZ=UTC: 2026-12-05 16:05:06.
    const Date date = Date::fromUnix(1'796'486'706.0);
    struct Case {
        const char* locale;
        DateFormatStyle dateStyle, timeStyle;
        const char* expected;
    };
    const Case cases[] = {
        {"en_US", DateFormatStyle::medium, DateFormatStyle::none, "Dec 5, 2026"},
        {"en_US", DateFormatStyle::none, DateFormatStyle::medium, "4:05:06\u202FPM"},
        {"de_DE", DateFormatStyle::medium, DateFormatStyle::none, "05.12.2026"},
        {"de_DE", DateFormatStyle::none, DateFormatStyle::medium, "16:05:06"},
        {"en_US", DateFormatStyle::none, DateFormatStyle::none, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatDate(date, c.dateStyle, c.timeStyle, c.locale), c.expected) << c.locale;
}
