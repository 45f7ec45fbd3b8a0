#include "platform/ui/RecentDocuments.h"

#include "platform/foundation/UserDefaults.h"

#include "tests/platform/ui/UiTestSupport.h"

#include <gtest/gtest.h>

using namespace platform;
using platform_ui_test::TemporaryFolder;

namespace {

Url session(const std::string& name) {
    return Url::fileURLWithPath("/home/me/Sessions/" + name, false);
}

} // namespace

TEST(RecentDocuments, MostRecentFirstWithoutRepeatsAndKeptInTheUserDefaults) {
    TemporaryFolder folder;
    {
        UserDefaults defaults(folder.path);
        RecentDocuments recent(defaults);
        EXPECT_TRUE(recent.recentDocumentUrls().empty());
        recent.noteNewRecentDocumentUrl(session("a.vantle"));
        recent.noteNewRecentDocumentUrl(session("b c.vantle"));
        recent.noteNewRecentDocumentUrl(session("d.vantle"));
        recent.noteNewRecentDocumentUrl(session("a.vantle"));
        recent.noteNewRecentDocumentUrl(Url());
        EXPECT_EQ(recent.recentDocumentUrls(),
                  (std::vector<Url>{session("a.vantle"), session("d.vantle"), session("b c.vantle")}));
    }

    UserDefaults reread(folder.path);
    auto stored = reread.object(RecentDocuments::defaultsKey);
    ASSERT_TRUE(stored && stored->asArray());
    EXPECT_EQ(*stored->asArray(),
              (PlistArray{"file:///home/me/Sessions/a.vantle", "file:///home/me/Sessions/d.vantle",
                          "file:///home/me/Sessions/b%20c.vantle"}));
    RecentDocuments recent(reread);
    EXPECT_EQ(recent.recentDocumentUrls().size(), 3u);

    recent.clearRecentDocuments();
    EXPECT_TRUE(recent.recentDocumentUrls().empty());
    EXPECT_EQ(UserDefaults(folder.path).object(RecentDocuments::defaultsKey), std::nullopt);
}

TEST(RecentDocuments, TheOldestFallOffAtTheMaximum) {
    TemporaryFolder folder;
    UserDefaults defaults(folder.path);
    RecentDocuments recent(defaults, 3);
    for (const char* name : {"1.vantle", "2.vantle", "3.vantle", "4.vantle", "5.vantle"})
        recent.noteNewRecentDocumentUrl(session(name));
    EXPECT_EQ(recent.recentDocumentUrls(),
              (std::vector<Url>{session("5.vantle"), session("4.vantle"), session("3.vantle")}));

    // Bringing back one that is in the list does not push another out.
    recent.noteNewRecentDocumentUrl(session("3.vantle"));
    EXPECT_EQ(recent.recentDocumentUrls(),
              (std::vector<Url>{session("3.vantle"), session("5.vantle"), session("4.vantle")}));

    RecentDocuments defaultLength(defaults);
    EXPECT_EQ(defaultLength.maximumCount(), 10u);
    for (int i = 0; i < 12; ++i)
        defaultLength.noteNewRecentDocumentUrl(session(std::to_string(i) + ".vantle"));
    EXPECT_EQ(defaultLength.recentDocumentUrls().size(), 10u);
    EXPECT_EQ(defaultLength.recentDocumentUrls().front(), session("11.vantle"));
}

TEST(RecentDocuments, DamagedListsReadAsWhatIsUsableInThem) {
    TemporaryFolder folder;
    UserDefaults defaults(folder.path);
    RecentDocuments recent(defaults, 3);

    defaults.setString(RecentDocuments::defaultsKey, "file:///not/a/list.vantle");
    EXPECT_TRUE(recent.recentDocumentUrls().empty());

    defaults.set(RecentDocuments::defaultsKey,
                 PlistValue(PlistArray{"https://example.com/x.vantle", 42, "file:///s/a.vantle", "",
                                       "file:///s/a.vantle", "relative.vantle", "file:///s/b.vantle",
                                       "file:///s/c.vantle", "file:///s/d.vantle"}));
    const std::vector<Url> expected = {Url::fileURLWithPath("/s/a.vantle", false),
                                       Url::fileURLWithPath("/s/b.vantle", false),
                                       Url::fileURLWithPath("/s/c.vantle", false)};
    EXPECT_EQ(recent.recentDocumentUrls(), expected);

    // The next note writes a clean list.
    recent.noteNewRecentDocumentUrl(Url::fileURLWithPath("/s/b.vantle", false));
    EXPECT_EQ(*defaults.object(RecentDocuments::defaultsKey),
              PlistValue(PlistArray{"file:///s/b.vantle", "file:///s/a.vantle", "file:///s/c.vantle"}));
}
