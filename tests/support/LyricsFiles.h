#pragma once
// Lyrics files beside a song for the karaoke tests: bytes written and read back as they are, and
// the text of a transcription. The standard library only. Test thread.

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

} // namespace testsupport
