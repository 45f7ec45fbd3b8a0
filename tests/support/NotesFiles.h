#pragma once
// The text of notes files as the player writes them beside a song: the song's path, then one
// "m:ss text" line per note. The standard library only. Any thread.

#include <cstddef>
#include <fstream>
#include <string>

namespace testsupport {

// `count` notes spread one second apart from 0:00, the i-th reading "note i" followed by
// `padding` more characters, so that a file of a given size can be made.
inline std::string notesFileText(const std::string& audioPath, std::size_t count, std::size_t padding = 0) {
    std::string text = audioPath + "\n";
    text.reserve(text.size() + count * (16 + padding));
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t seconds = i % 60;
        text += std::to_string(i / 60) + (seconds < 10 ? ":0" : ":") + std::to_string(seconds);
        text += " note " + std::to_string(i);
        text.append(padding, 'x');
        text += '\n';
    }
    return text;
}

// Appends in place, as a shell's ">>" does: the same file, longer.
inline bool appendToFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::app | std::ios::binary);
    return static_cast<bool>(file << text << std::flush);
}

} // namespace testsupport
