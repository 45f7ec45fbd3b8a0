#pragma once
// Reading a song's lyrics: the LRC file beside it, else its transcription. Qt-free.

#include "Source/karaoke/Lyrics.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantle {

struct LyricsReadResult {
    std::optional<Lyrics> lyrics;       // none: no lyrics found or not readable
    std::vector<std::string> lookedFor; // the paths tried (<name>.lrc, <name>.t.txt)
    std::string notice;                 // non-empty: tell the user (a file over the limit, unreadable)
};

// A lyrics file larger than this is not read: no one writes that much by hand, and it would hold up
// whoever waits for it.
inline constexpr std::uint64_t largestLyricsFileSize = std::uint64_t(2) << 20;
// The most memory the lines read from one file may take, each time a line is sung counted as a copy of
// it: a line given thousands of times is held only so far.
inline constexpr std::uint64_t largestLyricsHeld = std::uint64_t(32) << 20;

// <name>.lrc beside the audio file (its last extension replaced, ".lrc" in any case), else
// <name>.t.txt. Any thread; reads at most largestLyricsFileSize bytes of a file.
LyricsReadResult readLyricsBeside(const std::string& audioPath);

// The text of an LRC file: UTF-8 with or without a byte-order mark, UTF-16 with one, else Latin-1;
// LF or CRLF. A line that does not parse is left out. None when the bytes hold no lyric line at all.
std::optional<Lyrics> parseLrc(std::string_view bytes);

// Reads a song's lyrics off the main thread and hands them to the main queue; asked again (poll(),
// on the window's tick), it reads them again once a file beside the song changed on disk.
// Main thread only; results arrive through platform::mainQueue().
class LyricsLoader {
public:
    using Delivery = std::function<void(const LyricsReadResult&)>;
    explicit LyricsLoader(Delivery delivery);
    ~LyricsLoader();
    LyricsLoader(const LyricsLoader&) = delete;
    LyricsLoader& operator=(const LyricsLoader&) = delete;

    // Starts reading the lyrics of `audioPath` (empty: no song); what is delivered afterwards is of
    // this song only.
    void load(const std::string& audioPath);
    // Looks, off the main thread, whether the files read or looked for changed; reads and delivers
    // again when they did. Cheap to call at every tick: one look at a time, so false (nothing started)
    // while the last one is under way or the song is still being read.
    bool poll();
    const std::string& audioPath() const { return audioPath_; }

    struct State;

private:
    std::shared_ptr<State> state_;
    std::string audioPath_;
};

} // namespace vantle
