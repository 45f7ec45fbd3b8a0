#include "platform/ui/RecentDocuments.h"

#include "platform/foundation/UserDefaults.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

std::vector<Url> sessions(std::initializer_list<const char*> names) {
    std::vector<Url> urls;
    for (const char* name : names)
        urls.push_back(Url::fileURLWithPath(std::string("/s/") + name, false));
    return urls;
}

} // namespace

TEST(RecentDocuments, MostRecentFirstWithoutRepeatsAndKeptInTheUserDefaults) {
    platform_ui_test::TemporaryFolder folder;
    {
        UserDefaults defaults(folder.path);
        RecentDocuments recent(defaults);
        EXPECT_TRUE(recent.recentDocumentUrls().empty());
        for (const Url& url : sessions({"a.vantle", "b c.vantle", "d.vantle", "a.vantle"}))
            recent.noteNewRecentDocumentUrl(url);
        recent.noteNewRecentDocumentUrl(Url());
        EXPECT_EQ(recent.recentDocumentUrls(), sessions({"a.vantle", "d.vantle", "b c.vantle"}));
    }
    UserDefaults reread(folder.path);
    EXPECT_EQ(reread.object(RecentDocuments::defaultsKey),
              PlistValue(PlistArray{"file:///s/a.vantle", "file:///s/d.vantle", "file:///s/b%20c.vantle"}));
    RecentDocuments recent(reread);
    recent.clearRecentDocuments();
    EXPECT_TRUE(recent.recentDocumentUrls().empty());
    EXPECT_EQ(UserDefaults(folder.path).object(RecentDocuments::defaultsKey), std::nullopt);
}

TEST(RecentDocuments, TheOldestFallOffAtTheMaximum) {
    platform_ui_test::TemporaryFolder folder;
    UserDefaults defaults(folder.path);
    RecentDocuments recent(defaults, 3);
    for (const Url& url : sessions({"1", "2", "3", "4", "5"}))
        recent.noteNewRecentDocumentUrl(url);
    EXPECT_EQ(recent.recentDocumentUrls(), sessions({"5", "4", "3"}));
    // Bringing back one that is in the list does not push another out.
    recent.noteNewRecentDocumentUrl(sessions({"3"})[0]);
    EXPECT_EQ(recent.recentDocumentUrls(), sessions({"3", "5", "4"}));

    RecentDocuments defaultLength(defaults);
    for (int i = 0; i < 12; ++i)
        defaultLength.noteNewRecentDocumentUrl(Url::fileURLWithPath("/s/" + std::to_string(i), false));
    EXPECT_EQ(defaultLength.recentDocumentUrls().size(), 10u);
    EXPECT_EQ(defaultLength.recentDocumentUrls().front(), Url::fileURLWithPath("/s/11", false));
}

TEST(RecentDocuments, DamagedListsReadAsWhatIsUsableInThem) {
    platform_ui_test::TemporaryFolder folder;
    UserDefaults defaults(folder.path);
    RecentDocuments recent(defaults, 3);
    defaults.setString(RecentDocuments::defaultsKey, "file:///not/a/list.vantle");
    EXPECT_TRUE(recent.recentDocumentUrls().empty());

    defaults.set(RecentDocuments::defaultsKey,
                 PlistValue(PlistArray{"https://example.com/x.vantle", 42, "file:///s/a.vantle", "",
                                       "file:///s/a.vantle", "relative.vantle", "file:///s/b.vantle",
                                       "file:///s/c.vantle", "file:///s/d.vantle"}));
    EXPECT_EQ(recent.recentDocumentUrls(), sessions({"a.vantle", "b.vantle", "c.vantle"}));
    // The next note writes a clean list.
    recent.noteNewRecentDocumentUrl(sessions({"b.vantle"})[0]);
    EXPECT_EQ(defaults.object(RecentDocuments::defaultsKey),
              PlistValue(PlistArray{"file:///s/b.vantle", "file:///s/a.vantle", "file:///s/c.vantle"}));
}
