#pragma once
// Zip archives made in code with libzip, for the songs packed as one audio file and its graphics. A
// program that includes this links libzip. Test thread.

#include <zip.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// The whole of a file; empty when it does not read.
inline std::vector<std::uint8_t> readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Writes a zip at `path` holding each (name, bytes) deflated, in order, encrypted with `password` when
// one is given; false when libzip fails.
inline bool writeZip(const std::string& path,
                     const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& members,
                     const char* password = nullptr) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) return false;
    for (const auto& [name, bytes] : members) {
        zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
        const zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0 || (password && zip_file_set_encryption(archive, zip_uint64_t(index), ZIP_EM_AES_256,
                                                              password) != 0)) {
            if (source && index < 0) zip_source_free(source);
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

// CD+G packets enough for a file that names itself graphics: 24 bytes each, all of them empty.
inline std::vector<std::uint8_t> blankCdg(std::size_t packets = 300) {
    return std::vector<std::uint8_t>(packets * 24, 0);
}

} // namespace testsupport
