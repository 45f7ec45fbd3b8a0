#pragma once
// Lyrics files beside a song for the karaoke tests: bytes written and read back as they are, the
// text of a transcription, and timings that take a file just written at once. Test thread.

#include "Source/karaoke/LyricsTiming.h"
#include "tests/support/Clocks.h"
#include "tests/support/FileBytes.h"

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A transcription file: three header lines, then per cue its text, its timing line and a blank line.
inline std::string transcriptionText(const std::vector<std::pair<std::string, std::string>>& cues) {
    std::string text = "WEBVTT\n\n\n";
    for (const auto& [words, start] : cues)
        text += words + "\n" + start + " --> 9:59.000\n\n";
    return text;
}

// The timings made while this lives take every lyrics file as quiet, as if written an hour ago.
class ScopedQuietLyricsFiles {
public:
    ScopedQuietLyricsFiles() { vantle::LyricsTiming::setClockForNewTimings(&clock_); }
    ~ScopedQuietLyricsFiles() { vantle::LyricsTiming::setClockForNewTimings(nullptr); }
    ScopedQuietLyricsFiles(const ScopedQuietLyricsFiles&) = delete;
    ScopedQuietLyricsFiles& operator=(const ScopedQuietLyricsFiles&) = delete;

private:
    ClockAhead clock_{3600};
};

} // namespace testsupport
