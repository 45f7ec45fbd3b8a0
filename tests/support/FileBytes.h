#pragma once
// A file's bytes read and written as they are, for tests that make or damage files by hand. The
// standard library only. Test thread.

#include <fstream>
#include <iterator>
#include <string>

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

} // namespace testsupport
