#pragma once
// Lyrics files beside a song for the karaoke tests: bytes written and read back as they are, and
// the text of a transcription. The standard library only. Test thread.

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Writes the bytes in place (the same file when there is one), as an editor that does not rename.
inline bool writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return static_cast<bool>(out << bytes << std::flush);
}

// The file's bytes; "" when there is none.
inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A transcription file: three header lines, then per cue its text, its timing line and a blank line.
inline std::string transcriptionText(const std::vector<std::pair<std::string, std::string>>& cues) {
    std::string text = "WEBVTT\n\n\n";
    for (const auto& [words, start] : cues)
        text += words + "\n" + start + " --> 9:59.000\n\n";
    return text;
}

} // namespace testsupport
