#pragma once
// A song's artist, title and disc ID read from its file name as hosts name their songs:
// "SC1234-05 - Artist - Title.zip", "Artist - Title.mp3", "[SF123] Artist - Title.zip". Any thread.

#include <string>
#include <string_view>

namespace vantle::host {

struct SongName {
    std::string artist;
    std::string title;
    std::string disc;
    friend bool operator==(const SongName&, const SongName&) = default;
};

// From the file's name (its folders and extension are left out). A name with no " - " is all title.
SongName songNameFromFile(std::string_view fileName);

// A disc ID as karaoke makers print them: a few letters, then digits, maybe a track ("SC8123-05").
bool looksLikeDiscId(std::string_view text);

} // namespace vantle::host
