#pragma once
// What the fuzz targets share: a scratch folder of their own for the readers that take a file.
// One fuzzing thread.

#include "platform/foundation/Files.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzsupport {

// A folder made on first use and removed when the process ends normally.
inline const std::string& scratchFolder() {
    static const std::string folder = [] {
        std::string made = platform::makeTemporaryDirectory("vantle-fuzz").value();
        static std::string removeAtExit = made;
        std::atexit([] { (void)platform::removeTemporaryDirectory(removeAtExit); });
        return made;
    }();
    return folder;
}

// Puts the input in `name` of the scratch folder and gives its path. A plain write: the atomic
// writer's flush to disk would cost more than the reading under test.
inline std::string scratchFile(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = scratchFolder() + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path;
}

} // namespace fuzzsupport
