#include "Source/karaoke/Lyrics.h"

#include <gtest/gtest.h>

TEST(Lyrics, NoLinesNoneLit) {
    vantle::Lyrics lyrics;
    EXPECT_EQ(lyrics.lineAt(0), -1);
}
