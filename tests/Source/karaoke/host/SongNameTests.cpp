#include "Source/karaoke/host/SongName.h"

#include <gtest/gtest.h>

using namespace vantle::host;

namespace {

struct NameCase {
    const char* file;
    SongName expected;
};

TEST(SongName, NamesAsHostsWriteThem) {
    const NameCase cases[] = {
        {"SC1234 - Queen - Bohemian Rhapsody.zip", {"Queen", "Bohemian Rhapsody", "SC1234"}},
        {"/songs/SC8123-05 - Édith Piaf - La Vie en rose.zip", {"Édith Piaf", "La Vie en rose", "SC8123-05"}},
        {"Queen - Bohemian Rhapsody.mp3", {"Queen", "Bohemian Rhapsody", ""}},
        {"UB40 - Red Red Wine.mp3", {"UB40", "Red Red Wine", ""}},
        {"Abba - Waterloo - SF123.zip", {"Abba", "Waterloo", "SF123"}},
        {"[PHM0703-02] Bee Gees - Stayin' Alive.zip", {"Bee Gees", "Stayin' Alive", "PHM0703-02"}},
        {"Bee Gees - Stayin' Alive [CB 60123].zip", {"Bee Gees", "Stayin' Alive", "CB 60123"}},
        {"Artist - Title - Live.mp3", {"Artist", "Title - Live", ""}},
        {"Artist_-_Title.mp3", {"Artist", "Title", ""}},
        {"Nena – 99 Luftballons.mp3", {"Nena", "99 Luftballons", ""}},
        {"Just a title.mp3", {"", "Just a title", ""}},
        {" - .mp3", {"", "-", ""}},
        {".zip", {"", ".zip", ""}},
    };
    for (const NameCase& c : cases)
        EXPECT_EQ(songNameFromFile(c.file), c.expected) << c.file;
}

TEST(SongName, DiscIds) {
    for (const char* id :
         {"SC1234", "SC8123-05", "PHM0703-02", "CB 60123", "SF123", "ZOOM10001", "SC8123-05A"})
        EXPECT_TRUE(looksLikeDiscId(id)) << id;
    for (const char* other :
         {"Queen", "1999", "U2", "Title - Live", "SC", "SC1234-", "SC1234-12345", "TOOLONGID12"})
        EXPECT_FALSE(looksLikeDiscId(other)) << other;
}

} // namespace
