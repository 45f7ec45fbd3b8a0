#include "Source/views/UpdateTagsTransaction.h"

#include "tests/Source/views/ViewsTestSupport.h"

#include <gtest/gtest.h>

namespace vantle::testing {
namespace {

TEST(ToggledTags, KeepsTheOldTagsNotToggledThenAddsTheNewOnes) {
    EXPECT_EQ(toggledTags("ab", "bc"), "ac");
    EXPECT_EQ(toggledTags("x", "x"), "");
    // Case matters: "A" and "a" are different tags.
    EXPECT_EQ(toggledTags("a", "A"), "aA");
    // Tags are characters, not bytes.
    EXPECT_EQ(toggledTags("\u00e9\u2605", "\u2605\u266a"), "\u00e9\u266a");
}

TEST_F(PlaylistTableTest, TagChangesRecordOldAndNewTagsPerEntryInOrder) {
    auto entries = setEntries({"/a/0.mp3", "/a/1.mp3"});
    entries[0]->tags = "ab";
    auto changes = UpdateTagsTransaction::tagChanges({entries[1], entries[0]}, "b");
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].entry, entries[1]);
    EXPECT_EQ(std::tie(changes[0].oldTags, changes[0].newTags), std::make_tuple("", "b"));
    EXPECT_EQ(std::tie(changes[1].oldTags, changes[1].newTags), std::make_tuple("ab", "a"));
}

TEST_F(PlaylistTableTest, TagStepAppliesEitherStateAndReloadsOnlyWithAMainWindow) {
    auto entries = setEntries({"/a/0.mp3"});
    int reloads = 0;
    UpdateTagsTransaction step({{entries[0], "", "xy"}}, [&] { ++reloads; });
    EXPECT_EQ(step.undoName(), "Undo update tags");

    ASSERT_TRUE(step.redo());
    EXPECT_EQ(entries[0]->tags, "xy");
    EXPECT_TRUE(playlist().dirty);
    EXPECT_EQ(reloads, 1);
    ASSERT_TRUE(step.undo());
    EXPECT_EQ(entries[0]->tags, std::nullopt);
    EXPECT_EQ(reloads, 2);

    // Without a main window the tags still change; nothing else happens.
    AppServices::setMainWindow(nullptr);
    playlist().dirty = false;
    ASSERT_TRUE(step.redo());
    EXPECT_EQ(entries[0]->tags, "xy");
    EXPECT_FALSE(playlist().dirty);
    EXPECT_EQ(reloads, 2);
}

} // namespace
} // namespace vantle::testing
